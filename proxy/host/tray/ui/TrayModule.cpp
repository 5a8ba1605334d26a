// The window module's entry: the application, the main window and the tray-mode start.
#include <QApplication>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <cstdio>

#include "host/tray/TrayHost.h"
#include "host/tray/ui/MainWindow.h"

namespace {
/// The toolkit ends the process on a display it cannot open; say so plainly first.
void messageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "zpf tray: the window cannot be shown: %s\n", message.toLocal8Bit().constData());
        std::fflush(stderr);
        std::_Exit(1);
    }
    // Warnings about the desktop (no runtime folder, no tray) are the toolkit's
    // business; the proxy reports what matters to the user in its own words.
    if (type == QtCriticalMsg)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}
} // namespace

extern "C" __attribute__((visibility("default"))) int zpfTrayMain(TrayHost* host)
{
    qInstallMessageHandler(messageHandler);
    int argc = 1;
    char name[] = "zpf";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    // The window is hidden most of the time; only the close handler ends the proxy.
    QApplication::setQuitOnLastWindowClosed(false);

    int status = 0;
    {
        MainWindow window(*host);
        if (!host->NoIcon() && !QSystemTrayIcon::isSystemTrayAvailable()) {
            host->StatusLines().Push(tray::kNoSystemTray);
            std::fprintf(stderr, "zpf tray: %s\n", tray::kNoSystemTray);
        }
        window.SetTrayIcon(tray::TrayIconRole::Starting);
        (void)host->WindowReady([&window] { window.PostClose(); }, [&window] { window.PostStop(); });

        const std::string error = host->StartFiltering();
        window.TakeStatusLines();
        if (!error.empty()) {
            QMessageBox box(QMessageBox::Critical, QString::fromUtf8(tray::kWindowTitle), QString::fromStdString(error),
                            QMessageBox::Ok);
            box.setWindowFlag(Qt::WindowStaysOnTopHint);
            box.exec();
            status = 1;
        } else {
            window.SetTrayIcon(tray::TrayIconRole::Listening);
            QApplication::exec();
        }
        // No close request or signal may reach the window once it goes.
        host->WindowClosing();
    }
    return status;
}
