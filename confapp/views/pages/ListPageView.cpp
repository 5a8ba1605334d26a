// The widgets of the three list pages.
#include "views/pages/ListPageView.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

ListPageView::ListPageView(ListPage& model, QWidget* parent)
    : PageView(parent)
    , m_model(model)
    , m_switch(new QCheckBox(QString::fromUtf8(model.switchLabel()), this))
    , m_edit(new QPlainTextEdit(this))
    , m_count(new QLabel(this))
{
    auto* layout = new QVBoxLayout(this);
    auto* explanation = new QLabel(QString::fromUtf8(model.explanation()), this);
    explanation->setWordWrap(true);
    m_switch->setObjectName("switchCheckBox");
    m_edit->setObjectName("listEdit");
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_count->setObjectName("countLabel");
    layout->addWidget(explanation);
    layout->addWidget(m_switch);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_count);
    connect(m_switch, &QCheckBox::clicked, this, [this](bool on) {
        m_model.SetSwitch(on);
        m_edit->setEnabled(m_model.editable());
    });
    connect(m_edit, &QPlainTextEdit::textChanged, this, [this] {
        if (m_refreshing)
            return; // the page filling itself is no user change
        m_model.SetText(m_edit->toPlainText().toStdString());
        showCount();
    });
}

void ListPageView::showCount() { m_count->setText(QStringLiteral("%1 件").arg(m_model.entryCount())); }

void ListPageView::Refresh()
{
    m_refreshing = true;
    m_switch->setChecked(m_model.switchOn());
    const QString text = QString::fromStdString(m_model.text());
    if (m_edit->toPlainText() != text)
        m_edit->setPlainText(text);
    m_edit->setEnabled(m_model.editable());
    m_refreshing = false;
    showCount();
}
