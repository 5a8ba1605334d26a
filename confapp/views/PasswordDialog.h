#pragma once

#include <QDialog>

#include "core/StartupPassword.h"

class QLineEdit;

/// The password asked before the main window opens.
class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    PasswordDialog(const StartupPassword& password, QWidget* parent = nullptr);
    QLineEdit* edit() const { return m_edit; }

public slots:
    void accept() override;

signals:
    /// The entry did not match (the dialog stays open).
    void refused(const QString& message);

private:
    const StartupPassword& m_password;
    QLineEdit* m_edit;
};
