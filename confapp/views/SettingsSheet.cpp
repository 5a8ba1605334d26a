#include "views/SettingsSheet.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

#include <algorithm>
#include <QVBoxLayout>

#include "core/Texts.h"

SettingsSheet::SettingsSheet(SheetModel& model, int group, PageViewFactory makeView, QWidget* parent)
    : QDialog(parent)
    , m_model(model)
    , m_tabs(new QTabWidget(this))
{
    setWindowTitle(texts::kSheetCaption);
    m_tabs->setObjectName("pagesTabWidget");
    m_model.Open(group);
    for (size_t i = 0; i < m_model.pages().size(); ++i) {
        SettingsPage& page = *m_model.pages()[i];
        PageView* view = makeView ? makeView(m_model.tabs()[i], page, m_tabs) : nullptr;
        m_views.push_back(view);
        m_tabs->addTab(view ? static_cast<QWidget*>(view) : new QWidget(m_tabs),
                       QString::fromStdString(page.caption()));
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    auto* bottom = new QHBoxLayout;
    if (m_model.hasGroupSelector()) {
        // The label and the list show only while a per-group page is active.
        m_groupRow = new QWidget(this);
        auto* row = new QHBoxLayout(m_groupRow);
        row->setContentsMargins(0, 0, 0, 0);
        m_groups = new QComboBox(m_groupRow);
        m_groups->setObjectName("groupComboBox");
        row->addWidget(new QLabel(texts::kGroupLabel, m_groupRow));
        row->addWidget(m_groups);
        bottom->addWidget(m_groupRow);
        ReloadGroups();
        connect(m_groups, &QComboBox::activated, this, [this](int index) {
            const int wanted = m_groups->itemData(index).toInt();
            if (wanted == m_model.currentGroup())
                return;
            const std::string refusal = m_model.SelectGroup(wanted);
            if (!refusal.empty())
                QMessageBox::warning(this, texts::kAppTitle, QString::fromStdString(refusal));
            ReloadGroups();
            refreshPages();
        });
    }
    bottom->addStretch();
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(texts::kOk, QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(texts::kHelp, QDialogButtonBox::HelpRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsSheet::accept);
    connect(buttons, &QDialogButtonBox::helpRequested, this, &SettingsSheet::helpRequested);
    bottom->addWidget(buttons);
    layout->addLayout(bottom);
    connect(m_tabs, &QTabWidget::currentChanged, this, &SettingsSheet::tabOpened);
    tabOpened(m_tabs->currentIndex());
    // Wide enough for every tab caption, as far as a screen allows.
    resize(std::clamp(m_tabs->tabBar()->sizeHint().width() + 40, 560, 1200), 440);
}

void SettingsSheet::ReloadGroups()
{
    if (!m_groups)
        return;
    m_groups->clear();
    for (const SheetModel::GroupEntry& e : m_model.GroupEntries()) {
        m_groups->addItem(QString::fromStdString(e.name), e.group);
        if (e.group == m_model.currentGroup())
            m_groups->setCurrentIndex(m_groups->count() - 1);
    }
}

void SettingsSheet::tabOpened(int index)
{
    if (index < 0)
        return;
    const auto i = static_cast<size_t>(index);
    const bool firstTime = !m_model.pages()[i]->opened();
    const bool selector = m_model.OpenTab(i);
    if (m_groupRow)
        m_groupRow->setVisible(selector);
    if (firstTime && m_views[i])
        m_views[i]->Refresh();
}

void SettingsSheet::refreshPages()
{
    for (size_t i = 0; i < m_views.size(); ++i) {
        if (m_views[i] && m_model.pages()[i]->opened())
            m_views[i]->Refresh();
    }
}

void SettingsSheet::closeSheet()
{
    const std::string refusal = m_model.Close();
    if (!refusal.empty()) {
        QMessageBox::warning(this, texts::kAppTitle, QString::fromStdString(refusal));
        return;
    }
    QDialog::accept();
}

void SettingsSheet::accept() { closeSheet(); }

// The close box keeps the changes too.
void SettingsSheet::reject() { closeSheet(); }
