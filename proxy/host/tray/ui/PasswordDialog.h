#pragma once

#include <QDialog>

#include "host/tray/TrayModel.h"

class QLineEdit;

/// Asks for the administrator password before the proxy ends. A wrong password says
/// so and keeps the dialog, with the typed text selected; cancel keeps the proxy.
class PasswordDialog : public QDialog {
public:
    PasswordDialog(tray::PasswordPrompt prompt, QWidget* parent = nullptr);

    QLineEdit* Edit() const { return m_edit; }
    /// The OK button: closes on the right password, else shows the message.
    void Submit();

private:
    tray::PasswordPrompt m_prompt;
    QLineEdit* m_edit = nullptr;
};
