#include "views/pages/GroupPageView.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "views/SettingsSheet.h"
#include "views/pages/PageWidgets.h"

using namespace pagewidgets;

GroupPageView::GroupPageView(GroupPage& page, QWidget* parent)
    : PageView(parent)
    , m_page(page)
    , m_name(new QLineEdit(this))
    , m_list(new QListWidget(this))
    , m_add(new QPushButton("追加", this))
    , m_modify(new QPushButton("修正", this))
    , m_delete(new QPushButton("削除", this))
{
    m_name->setObjectName("groupNameEdit");
    m_list->setObjectName("groupList");
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel("グループ名：", this), 0, 0);
    layout->addWidget(m_name, 0, 1);
    layout->addWidget(m_list, 1, 0, 4, 2);
    layout->addWidget(m_add, 0, 2);
    layout->addWidget(m_modify, 1, 2);
    layout->addWidget(m_delete, 2, 2);
    layout->setRowStretch(4, 1);
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& text) { m_page.SetName(s(text)); });
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        m_page.Select(row);
        m_name->setText(q(m_page.nameField()));
        m_modify->setEnabled(m_page.canModify());
        m_delete->setEnabled(m_page.canModify());
    });
    connect(m_add, &QPushButton::clicked, this, [this] { run(&GroupPage::Add); });
    connect(m_modify, &QPushButton::clicked, this, [this] { run(&GroupPage::Rename); });
    connect(m_delete, &QPushButton::clicked, this, [this] { run(&GroupPage::Delete); });
    m_page.SetGroupsChangedCallback([this] {
        // The sheet's group selector lists the groups too.
        for (QWidget* w = parentWidget(); w; w = w->parentWidget()) {
            if (auto* sheet = qobject_cast<SettingsSheet*>(w)) {
                sheet->ReloadGroups();
                break;
            }
        }
    });
}

void GroupPageView::run(std::string (GroupPage::*action)())
{
    m_page.SetName(s(m_name->text()));
    const std::string message = (m_page.*action)();
    warn(this, message);
    Refresh();
}

void GroupPageView::Refresh()
{
    const QSignalBlocker block(m_list);
    m_list->clear();
    for (const GroupPage::Item& item : m_page.items())
        m_list->addItem(q(item.name));
    m_list->setCurrentRow(m_page.selected());
    m_name->setText(q(m_page.nameField()));
    m_modify->setEnabled(m_page.canModify());
    m_delete->setEnabled(m_page.canModify());
}
