#include "views/pages/AuthAccountPageView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "views/pages/PageWidgets.h"

using namespace pagewidgets;

AuthAccountPageView::AuthAccountPageView(AuthAccountPage& page, QWidget* parent)
    : PageView(parent)
    , m_page(page)
    , m_mode(new QComboBox(this))
    , m_account(new QLineEdit(this))
    , m_password(new QLineEdit(this))
    , m_noFiltering(new QCheckBox("フィルタリングなし", this))
    , m_group(new QComboBox(this))
    , m_list(makeTable(this, {"アカウント", "パスワード", "フィルタリング", "グループ"}))
    , m_add(new QPushButton("追加", this))
    , m_modify(new QPushButton("修正", this))
    , m_delete(new QPushButton("削除", this))
{
    m_mode->setObjectName("authModeComboBox");
    m_list->setObjectName("accountList");
    for (const std::string& name : AuthAccountPage::ModeNames())
        m_mode->addItem(q(name));
    auto* layout = new QVBoxLayout(this);
    auto* modeRow = new QHBoxLayout;
    modeRow->addWidget(new QLabel("認証方式", this));
    modeRow->addWidget(m_mode);
    modeRow->addStretch();
    layout->addLayout(modeRow);
    layout->addWidget(new QLabel(AuthAccountPage::kHalfAuthNote, this));
    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel("アカウント", this), 0, 0);
    fields->addWidget(m_account, 0, 1);
    fields->addWidget(new QLabel("パスワード", this), 1, 0);
    fields->addWidget(m_password, 1, 1);
    fields->addWidget(m_noFiltering, 2, 1);
    fields->addWidget(new QLabel("グループ", this), 3, 0);
    fields->addWidget(m_group, 3, 1);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {m_add, m_modify, m_delete})
        buttons->addWidget(b);
    buttons->addStretch();
    fields->addLayout(buttons, 0, 2, 4, 1);
    layout->addLayout(fields);
    layout->addWidget(m_list, 1);

    connect(m_mode, &QComboBox::activated, this, [this](int mode) {
        m_page.SetMode(mode);
        enable();
    });
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this] {
        m_page.Select(currentRow(m_list));
        showFields();
        enable();
    });
    connect(m_add, &QPushButton::clicked, this, [this] {
        readFields();
        warn(this, m_page.Add());
        showRows();
    });
    connect(m_modify, &QPushButton::clicked, this, [this] {
        readFields();
        warn(this, m_page.Modify());
        showRows();
    });
    connect(m_delete, &QPushButton::clicked, this, [this] {
        m_page.Delete();
        showRows();
    });
}

void AuthAccountPageView::readFields()
{
    m_page.accountField = s(m_account->text());
    m_page.passwordField = s(m_password->text());
    m_page.noFilteringField = m_noFiltering->isChecked();
    m_page.groupField = m_group->currentData().toInt();
}

void AuthAccountPageView::showFields()
{
    m_account->setText(q(m_page.accountField));
    m_password->setText(q(m_page.passwordField));
    m_noFiltering->setChecked(m_page.noFilteringField);
    fillGroups(m_group, m_page.groupChoices(), m_page.groupField);
}

void AuthAccountPageView::showRows()
{
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 0; i < m_page.rows().size(); ++i)
        rows.push_back(m_page.RowTexts(static_cast<int>(i)));
    fillTable(m_list, rows, m_page.selected());
    // "フィルタリング" is 100 pixels wide, the three others share the rest.
    const int rest = std::max(90, (m_list->viewport()->width() - 100) / 3);
    m_list->setColumnWidth(0, rest);
    m_list->setColumnWidth(1, rest);
    m_list->setColumnWidth(2, 100);
    m_list->setColumnWidth(3, rest);
    showFields();
    enable();
}

void AuthAccountPageView::enable()
{
    const bool on = m_page.accountsEditable();
    for (QWidget* w : std::initializer_list<QWidget*>{m_account, m_password, m_noFiltering, m_group, m_add, m_list})
        w->setEnabled(on);
    m_modify->setEnabled(on && m_page.selected() >= 0);
    m_delete->setEnabled(on && m_page.selected() >= 0);
}

void AuthAccountPageView::Refresh()
{
    m_mode->setCurrentIndex(m_page.mode());
    showRows();
}

// A group may have been added, renamed or deleted on another tab.
void AuthAccountPageView::showEvent(QShowEvent* event)
{
    PageView::showEvent(event);
    if (m_page.opened())
        showRows();
}
