#include "views/pages/IPPageViews.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/pages/AuthAccountPage.h"
#include "views/pages/PageWidgets.h"

using namespace pagewidgets;

// ---- AddressProbe ----

AddressProbe::AddressProbe(std::function<std::string(const std::string&)> explain, QWidget* parent)
    : QWidget(parent)
    , m_explain(std::move(explain))
    , m_field(new QLineEdit(this))
    , m_answer(new QLabel(this))
{
    m_field->setObjectName("probeAddressEdit");
    m_field->setMaximumWidth(140);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel("アドレスの確認：", this));
    row->addWidget(m_field);
    row->addWidget(m_answer, 1);
    connect(m_field, &QLineEdit::textChanged, this, [this] { Update(); });
}

void AddressProbe::Update()
{
    m_answer->setText(m_field->text().isEmpty() ? QString() : q(m_explain(s(m_field->text()))));
}

// ---- IPRestrictionPageView ----

IPRestrictionPageView::IPRestrictionPageView(IPRestrictionPage& page, QWidget* parent)
    : PageView(parent)
    , m_page(page)
    , m_address(new QLineEdit(this))
    , m_list(new QListWidget(this))
    , m_modify(new QPushButton("修正", this))
    , m_delete(new QPushButton("削除", this))
    , m_probe(new AddressProbe([&page](const std::string& a) { return page.Explain(a); }, this))
{
    m_address->setObjectName("ipAddressEdit");
    m_list->setObjectName("ipList");
    auto* add = new QPushButton("追加", this);
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel("IPアドレス：", this), 0, 0);
    layout->addWidget(m_address, 0, 1);
    layout->addWidget(m_list, 1, 0, 3, 2);
    layout->addWidget(add, 0, 2);
    layout->addWidget(m_modify, 1, 2);
    layout->addWidget(m_delete, 2, 2);
    layout->setRowStretch(3, 1);
    layout->addWidget(m_probe, 4, 0, 1, 3);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        m_page.Select(row);
        m_address->setText(q(m_page.addressField));
        m_modify->setEnabled(m_page.selected() >= 0);
        m_delete->setEnabled(m_page.selected() >= 0);
    });
    connect(add, &QPushButton::clicked, this, [this] { run(&IPRestrictionPage::Add); });
    connect(m_modify, &QPushButton::clicked, this, [this] { run(&IPRestrictionPage::Modify); });
    connect(m_delete, &QPushButton::clicked, this, [this] {
        m_page.Delete();
        Refresh();
    });
}

void IPRestrictionPageView::run(std::string (IPRestrictionPage::*action)())
{
    m_page.addressField = s(m_address->text());
    warn(this, (m_page.*action)());
    Refresh();
}

void IPRestrictionPageView::Refresh()
{
    {
        const QSignalBlocker block(m_list);
        m_list->clear();
        for (const std::string& entry : m_page.entries())
            m_list->addItem(q(entry));
        m_list->setCurrentRow(m_page.selected());
    }
    m_address->setText(q(m_page.addressField));
    m_modify->setEnabled(m_page.selected() >= 0);
    m_delete->setEnabled(m_page.selected() >= 0);
    m_probe->Update();
}

// ---- IPExceptionPageView ----

IPExceptionPageView::IPExceptionPageView(IPExceptionPage& page, QWidget* parent)
    : PageView(parent)
    , m_page(page)
    , m_address(new QLineEdit(this))
    , m_exempt(new QCheckBox("対象外", this))
    , m_group(new QComboBox(this))
    , m_mode(new QComboBox(this))
    , m_list(makeTable(this, {"IP", "対象外", "グループ", "認証方式"}))
    , m_modify(new QPushButton("修正", this))
    , m_delete(new QPushButton("削除", this))
    , m_probe(new AddressProbe([&page](const std::string& a) { return page.Explain(a); }, this))
{
    m_address->setObjectName("ipAddressEdit");
    m_list->setObjectName("ipPolicyList");
    m_exempt->setObjectName("exemptCheckBox");
    m_group->setObjectName("groupComboBox");
    for (const std::string& name : AuthAccountPage::ModeNames())
        m_mode->addItem(q(name));
    auto* add = new QPushButton("追加", this);
    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel("IP", this), 0, 0);
    fields->addWidget(m_address, 0, 1);
    fields->addWidget(m_exempt, 1, 1);
    fields->addWidget(new QLabel("グループ", this), 2, 0);
    fields->addWidget(m_group, 2, 1);
    fields->addWidget(new QLabel("認証方式", this), 3, 0);
    fields->addWidget(m_mode, 3, 1);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {add, m_modify, m_delete})
        buttons->addWidget(b);
    buttons->addStretch();
    fields->addLayout(buttons, 0, 2, 4, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_probe);

    connect(m_exempt, &QCheckBox::toggled, this, [this](bool on) {
        m_page.exemptField = on;
        m_group->setEnabled(m_page.policyEditable());
        m_mode->setEnabled(m_page.policyEditable());
    });
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this] {
        m_page.Select(currentRow(m_list));
        showFields();
    });
    connect(add, &QPushButton::clicked, this, [this] {
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

void IPExceptionPageView::readFields()
{
    m_page.addressField = s(m_address->text());
    m_page.exemptField = m_exempt->isChecked();
    m_page.groupField = m_group->currentData().toInt();
    m_page.modeField = m_mode->currentIndex();
}

void IPExceptionPageView::showFields()
{
    m_address->setText(q(m_page.addressField));
    m_exempt->setChecked(m_page.exemptField);
    fillGroups(m_group, m_page.groupChoices(), m_page.groupField);
    m_mode->setCurrentIndex(m_page.modeField);
    m_group->setEnabled(m_page.policyEditable());
    m_mode->setEnabled(m_page.policyEditable());
    m_modify->setEnabled(m_page.selected() >= 0);
    m_delete->setEnabled(m_page.selected() >= 0);
}

void IPExceptionPageView::showRows()
{
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 0; i < m_page.rows().size(); ++i)
        rows.push_back(m_page.RowTexts(static_cast<int>(i)));
    fillTable(m_list, rows, m_page.selected());
    // "IP" is 150 pixels wide, wider when a range would not fit; the three others share the rest.
    m_list->resizeColumnToContents(0);
    const int first = std::max(150, m_list->columnWidth(0) + 12);
    const int rest = std::max(80, (m_list->viewport()->width() - first) / 3);
    m_list->setColumnWidth(0, first);
    for (int c = 1; c < 4; ++c)
        m_list->setColumnWidth(c, rest);
    showFields();
    m_probe->Update();
}

void IPExceptionPageView::Refresh() { showRows(); }

void IPExceptionPageView::showEvent(QShowEvent* event)
{
    PageView::showEvent(event);
    if (m_page.opened())
        showRows();
}
