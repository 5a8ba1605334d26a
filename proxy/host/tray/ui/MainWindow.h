#pragma once

#include <QMainWindow>
#include <atomic>

#include "host/tray/TrayModel.h"
#include "platform/Event.h"

class QPlainTextEdit;
class QSystemTrayIcon;
class QMenu;
class TrayHost;

/// The tray proxy's hidden main window: the growing status text, the menus, the tray
/// icon and the close handler. Lives on the UI thread; other threads reach it only
/// through the host's status queue and PostClose/PostStop, which never call the
/// toolkit: they set a flag and an event whose descriptor the UI thread watches.
class MainWindow : public QMainWindow {
public:
    explicit MainWindow(TrayHost& host, QWidget* parent = nullptr);
    ~MainWindow() override;

    /// Shows the picture of the role with its tip; nothing with "noicon".
    void SetTrayIcon(tray::TrayIconRole role);
    /// Appends one line at the end and scrolls to it (UI thread).
    void AppendStatusLine(const QString& line);
    /// Moves the lines waiting in the host's queue into the status text.
    void TakeStatusLines();

    /// The tray menu's Open: shows the window and brings it to the front.
    void Open();
    /// The two Exit commands: the next close request asks before the proxy ends.
    void Exit();
    /// A close request (another process's close message, or Exit): the close handler.
    void HandleClose();
    /// The version dialog.
    void ShowVersion();

    /// Any thread: a close request of another process reaches HandleClose.
    void PostClose();
    /// Any thread: the proxy ends without questions (stop signals).
    void PostStop();

    /// True once the close handler decided that the proxy ends.
    bool Ending() const { return m_ending; }
    QPlainTextEdit* StatusText() const { return m_text; }
    QSystemTrayIcon* TrayIcon() const { return m_icon; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void end();
    /// UI thread: what other threads asked for since the last wake.
    void onWake();

    TrayHost& m_host;
    tray::CloseHandler m_close;
    QPlainTextEdit* m_text = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_trayMenu = nullptr;
    bool m_ending = false;
    platform::Event m_wake{true};
    std::atomic<bool> m_closeRequested{false};
    std::atomic<bool> m_stopRequested{false};
};

/// The picture of the role (16 to 48 pixels).
QIcon TrayRoleIcon(tray::TrayIconRole role);
