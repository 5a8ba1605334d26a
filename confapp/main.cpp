// Vantrel: the configuration application.
#include <QApplication>
#include <QMessageBox>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "common/BaseDirectory.h"
#include "config/ConfigrationFile.h"
#include "core/AppCommandLine.h"
#include "core/CloseSequence.h"
#include "core/SettingsDocument.h"
#include "core/StartupPassword.h"
#include "core/Texts.h"
#include "platform/NamedEvent.h"
#include "platform/NamedObjects.h"
#include "platform/ProcessControl.h"
#include "platform/ServiceControl.h"
#include "views/MainWindow.h"
#include "views/PasswordDialog.h"

namespace {

constexpr const char* kWindowClass = "ConfZpfWndClass";
constexpr const char* kActivateMessage = "activate";

// Qt ends the process without a word when it finds no display; say why first.
bool haveDisplay()
{
    const char* platformName = std::getenv("QT_QPA_PLATFORM");
    if (platformName && *platformName)
        return true; // offscreen, vnc, ...: the user chose
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + argc);
    const AppCommandLine line = AppCommandLine::Parse(words);
    if (!haveDisplay()) {
        std::fprintf(stderr, "%s\n", texts::kNoDisplay);
        return 1;
    }
    QApplication app(argc, argv);
    app.setApplicationName("Vantrel");

    const std::string directory = baseDirectory();
    platform::RuntimeNamedObjects objects(platform::RuntimeDirectory(directory));
    // One window per program directory; a second start brings the first to the front.
    // Messages arrive on the lock's own thread; the window is handed over through this.
    std::atomic<MainWindow*> window = nullptr;
    auto instance = objects.AcquireInstance(kWindowClass, [&window](const std::string& message) {
        if (MainWindow* w = window.load(); message == kActivateMessage && w)
            QMetaObject::invokeMethod(w, &MainWindow::BringToFront, Qt::QueuedConnection);
    });
    if (!instance) {
        (void)objects.SendControlMessage(kWindowClass, kActivateMessage); // it may be closing
        return 0;
    }

    ConfigrationFileSigleton& cnf = *ConfigrationFileSigleton::getInstance();
    SettingsDocument document(cnf, directory);
    (void)document.ReadPassword(); // no password stored: no question
    const StartupPassword password(cnf.adminPassword);
    if (password.required()) {
        PasswordDialog dialog(password);
        QObject::connect(&dialog, &PasswordDialog::refused, &dialog, [&dialog](const QString& message) {
            QMessageBox::warning(&dialog, texts::kAppTitle, message);
        });
        if (dialog.exec() != QDialog::Accepted)
            return 0;
    }

    platform::SystemdServiceController services;
    platform::PosixProgramLauncher launcher;
    ProxyRestartEnv restart{services, objects, launcher, directory};
    LibraryBrowserSettings browser;
    MainWindow main(document, line, {restart, browser});
    window.store(&main);
    main.show();
    const int status = main.exec();
    window.store(nullptr);
    instance.reset(); // no message may reach the window once it goes
    return status == QDialog::Accepted || status == QDialog::Rejected ? 0 : status;
}
