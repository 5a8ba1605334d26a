// One view for every page bound to zpf.cnf keys: it lays out the model's rows.
#include "views/pages/BoundPageView.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {
QString qs(const char* utf8) { return QString::fromUtf8(utf8); }
} // namespace

BoundPageView::BoundPageView(BoundPage& model, QWidget* parent)
    : PageView(parent)
    , m_model(model)
    , m_controls(model.rows().size(), nullptr)
    , m_info(new QLabel(this))
{
    auto* outer = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    outer->addLayout(grid);
    int line = 0;
    for (size_t i = 0; i < model.rows().size(); ++i) {
        const PageRow& row = model.rows()[i];
        if (!model.visible(row))
            continue;
        const QString key = row.key ? qs(row.key) : QString();
        switch (row.kind) {
        case PageRow::Check: {
            auto* box = new QCheckBox(qs(row.label), this);
            box->setObjectName(key + "CheckBox");
            connect(box, &QCheckBox::clicked, this, [this, key = std::string(row.key)](bool on) {
                m_model.SetChecked(key, on);
                updateEnabled();
            });
            grid->addWidget(box, line++, 0, 1, 2);
            m_controls[i] = box;
            break;
        }
        case PageRow::Number:
        case PageRow::Text:
        case PageRow::Password: {
            auto* edit = new QLineEdit(this);
            edit->setObjectName(key + "Edit");
            if (row.kind == PageRow::Password)
                edit->setEchoMode(QLineEdit::Password);
            if (row.kind == PageRow::Number)
                edit->setMaximumWidth(120);
            connect(edit, &QLineEdit::textEdited, this, [this, key = std::string(row.key)](const QString& text) {
                m_model.SetText(key, text.toStdString());
                Refresh();
            });
            grid->addWidget(new QLabel(qs(row.label), this), line, 0);
            // A short number keeps its unit beside it.
            auto* field = new QHBoxLayout;
            field->addWidget(edit, row.kind == PageRow::Number ? 0 : 1);
            if (row.suffix)
                field->addWidget(new QLabel(qs(row.suffix), this));
            if (row.kind == PageRow::Number)
                field->addStretch(1);
            grid->addLayout(field, line++, 1);
            m_controls[i] = edit;
            break;
        }
        case PageRow::Heading: {
            auto* heading = new QLabel(qs(row.label), this);
            QFont bold = heading->font();
            bold.setBold(true);
            heading->setFont(bold);
            grid->addWidget(heading, line++, 0, 1, 2);
            break;
        }
        case PageRow::Note: {
            auto* note = new QLabel(qs(row.label), this);
            note->setWordWrap(true);
            grid->addWidget(note, line++, 0, 1, 2);
            break;
        }
        }
    }
    grid->setColumnStretch(1, 1);
    m_info->setObjectName("infoLabel");
    m_info->setWordWrap(true);
    outer->addWidget(m_info);
    outer->addStretch();
}

void BoundPageView::updateEnabled()
{
    for (size_t i = 0; i < m_controls.size(); ++i) {
        if (m_controls[i])
            m_controls[i]->setEnabled(m_model.enabled(m_model.rows()[i]));
    }
}

void BoundPageView::Refresh()
{
    for (size_t i = 0; i < m_controls.size(); ++i) {
        const PageRow& row = m_model.rows()[i];
        const QString text = QString::fromStdString(m_model.text(row.key ? row.key : ""));
        if (auto* box = qobject_cast<QCheckBox*>(m_controls[i]))
            box->setChecked(text == QStringLiteral("1"));
        else if (auto* edit = qobject_cast<QLineEdit*>(m_controls[i]); edit && edit->text() != text)
            edit->setText(text); // setText is no user edit: the model is not marked changed
    }
    updateEnabled();
    QStringList lines;
    for (const std::string& l : m_model.infoLines())
        lines << QString::fromStdString(l);
    m_info->setText(lines.join(QLatin1Char('\n')));
    m_info->setVisible(!lines.isEmpty());
}
