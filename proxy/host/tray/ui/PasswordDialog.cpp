// The exit password dialog.
#include "host/tray/ui/PasswordDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

PasswordDialog::PasswordDialog(tray::PasswordPrompt prompt, QWidget* parent)
    : QDialog(parent)
    , m_prompt(std::move(prompt))
{
    setWindowTitle(QString::fromUtf8(tray::kPasswordTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromUtf8(tray::kPasswordLabel), this));
    m_edit = new QLineEdit(this);
    m_edit->setEchoMode(QLineEdit::Password);
    m_edit->setMaxLength(static_cast<int>(tray::kMaxPasswordInput));
    layout->addWidget(m_edit);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QString::fromUtf8(tray::kPasswordOk), QDialogButtonBox::AcceptRole);
    buttons->addButton(QString::fromUtf8(tray::kPasswordCancel), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Submit(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void PasswordDialog::Submit()
{
    if (m_prompt.Accepts(m_edit->text().toStdString())) {
        accept();
        return;
    }
    QMessageBox::warning(this, QString::fromUtf8(tray::kPasswordTitle), QString::fromUtf8(tray::kPasswordWrong));
    m_edit->setFocus();
    m_edit->selectAll();
}
