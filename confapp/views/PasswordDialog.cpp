#include "views/PasswordDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Texts.h"

PasswordDialog::PasswordDialog(const StartupPassword& password, QWidget* parent)
    : QDialog(parent)
    , m_password(password)
    , m_edit(new QLineEdit(this))
{
    setWindowTitle(texts::kAppTitle);
    m_edit->setObjectName("passwordLineEdit");
    m_edit->setEchoMode(QLineEdit::Password);
    m_edit->setMaxLength(static_cast<int>(StartupPassword::kMaxLength));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(texts::kOk, QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(texts::kCancel, QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &PasswordDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PasswordDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(texts::kEnterPassword, this));
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
}

void PasswordDialog::accept()
{
    const std::string message = m_password.Check(m_edit->text().toStdString());
    if (message.empty()) {
        QDialog::accept();
        return;
    }
    emit refused(QString::fromStdString(message));
    m_edit->setFocus();
    m_edit->selectAll();
}
