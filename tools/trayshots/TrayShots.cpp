// Draws the tray window and the exit password dialog with sample status lines and
// saves them as PNG files; tools/screenshots.sh runs it under a virtual display.
#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <cstdio>

#include "host/tray/TrayHost.h"
#include "host/tray/ui/MainWindow.h"
#include "host/tray/ui/PasswordDialog.h"

namespace {

/// A host that only carries status lines: nothing is started.
class ShotHost final : public TrayHost {
public:
    bool NoIcon() const override { return true; }
    int Edition() const override { return 2; }
    std::string ProductVersion() const override { return "3, 3, 0, 4"; }
    tray::StatusQueue& StatusLines() override { return queue; }
    bool WindowReady(std::function<void()>, std::function<void()>) override { return true; }
    void WindowClosing() override { }
    std::string StartFiltering() override { return {}; }
    bool TestQueryExit() override { return false; }
    bool ReadPassword(std::string&) override { return false; }

    tray::StatusQueue queue;
};

bool save(QWidget& widget, const QString& path)
{
    if (widget.grab().save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tray_screenshots OUTPUT-DIRECTORY\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');

    ShotHost host;
    MainWindow window(host);
    // A start as the proxy writes it, then two key files of categories with Japanese
    // names that could not be opened (their names come from the category list).
    for (const char* line : {"Configration Initialize Start", "Log Initialize Start", "Database Initialize Start",
                             "アダルト.fdb[0] Open Error - CAtFilterKeyFileReader::readToListFromDESFile()",
                             "出会い系.fdb[0] Open Error - CAtFilterKeyFileReader::readToListFromDESFile()",
                             "Initialize OK", "WinSock Initialize Start", "Daemon Initialize Start", "Start OK"})
        host.queue.Push(line);
    window.resize(720, 300);
    window.Open();

    PasswordDialog dialog(tray::PasswordPrompt("unused"), &window);
    dialog.Edit()->setText(QStringLiteral("secret"));
    dialog.show();

    int status = 1;
    // Once the lines are in and both windows are drawn.
    QTimer::singleShot(500, [&] {
        status = save(window, out + QStringLiteral("tray-window.png")) &&
                         save(dialog, out + QStringLiteral("tray-password.png"))
                     ? 0
                     : 1;
        QCoreApplication::exit(0);
    });
    QApplication::exec();
    return status;
}
