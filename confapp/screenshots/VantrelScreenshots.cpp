// Draws Vantrel's main window and every tab of its settings sheet into PNG files:
//   vantrel_screenshots <program directory> <output directory>
// The windows are the application's own, over the given program directory; nothing
// is saved and no proxy is restarted.
#include <QApplication>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>

#include "common/BaseDirectory.h"
#include "common/Edition.h"
#include "config/ConfigrationFile.h"
#include "platform/NamedEvent.h"
#include "core/SheetModel.h"
#include "views/MainWindow.h"
#include "views/SettingsSheet.h"
#include "views/LogViewDialog.h"
#include "platform/TextFile.h"

namespace {

const char* const kTabFiles[] = {"group",  "option",        "blkphrase",   "nofilter",    "passurl", "time",
                                 "server", "iprestriction", "ipexception", "authaccount", "keep",    "version"};

// Says No to every question, so nothing is written.
class Silent final : public UserPrompt {
public:
    bool AskYesNo(const std::string&) override { return false; }
    void Show(const std::string&) override { }
};

// Nothing is restarted or changed from here.
class Untouched final : public BrowserSettings {
public:
    bool Read(bool*, std::string*, int*) override { return false; }
    void Apply(int, bool, bool, int) override { }
};

bool save(QWidget& widget, const QString& path)
{
    widget.show();
    for (int i = 0; i < 10; ++i)
        QApplication::processEvents();
    const bool ok = widget.grab().save(path, "PNG");
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.toUtf8().constData());
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: vantrel_screenshots <program directory> <output directory>\n");
        return 2;
    }
    QApplication app(argc, argv);
    std::string directory = argv[1];
    if (directory.back() != '/')
        directory += '/';
    SetBaseDirectory(directory);
    const QString out = QString::fromLocal8Bit(argv[2]) + "/";

    ConfigrationFileSigleton& cnf = *ConfigrationFileSigleton::getInstance();
    cnf.SetDefaultPaths();
    SettingsDocument document(cnf, directory);
    Silent prompt;
    Untouched browser;
    struct NoServices final : platform::ServiceController {
        int Install(const std::string&, const std::string&) override { return 1; }
        int Find(const std::string&) override { return 1; }
        platform::ServiceState Query(const std::string&) override { return platform::ServiceState::Stopped; }
        int Start(const std::string&, const std::vector<std::string>&) override { return 1; }
        int Stop(const std::string&) override { return 1; }
        int Remove(const std::string&) override { return 1; }
    } services;
    platform::RuntimeNamedObjects objects(platform::RuntimeDirectory(directory));
    platform::PosixProgramLauncher launcher;
    ProxyRestartEnv restart{services, objects, launcher, directory};

    bool ok = true;
    MainWindow window(document, AppCommandLine{}, {restart, browser});
    window.SetPrompt(&prompt);
    ok &= save(window, out + "vantrel-main.png");

    SheetModel model(document, IsStandaloneEdition());
    SettingsSheet sheet(model, 0, MakePageView, &window);
    for (int i = 0; i < sheet.tabs()->count(); ++i) {
        sheet.tabs()->setCurrentIndex(i);
        const auto tab = static_cast<size_t>(model.tabs()[static_cast<size_t>(i)]);
        ok &= save(sheet, out + QString("vantrel-sheet-%1-%2.png").arg(i + 1, 2, 10, QChar('0')).arg(kTabFiles[tab]));
    }
    sheet.hide();
    // The network edition's sheet, with its group selector, whatever this build is.
    SheetModel network(document, false);
    SettingsSheet networkSheet(network, 0, MakePageView, &window);
    ok &= save(networkSheet, out + "vantrel-sheet-network.png");
    networkSheet.hide();

    // The log viewer over a week of sample blocks.
    {
        std::string log;
        const char* urls[] = {"http://adult.example/",  "http://game.example/play", "http://chat.example/room?id=7",
                              "http://gamble.example/", "http://news.example/",     "http://shop.example/cart"};
        const char* tails[] = {",(URL Block),,101", ",(URL Block),,106", ",(URL Block),,108",
                               ",(URL Block),,104", ",(Access Log),",    ",\x82\xa8\x8b\xe0,,101"}; // お金
        for (int i = 0; i < 60; ++i) {
            char head[64];
            std::snprintf(head, sizeof head, "2004/05/%02d,%02d:%02d:%02d,192.168.0.%d,", 4 + i % 7 + (i % 3 == 0),
                          8 + i % 12, (i * 7) % 60, (i * 13) % 60, 2 + i % 4);
            log += head;
            log += urls[(i * 5) % 6];
            log += tails[(i * 5) % 6];
            log += "\r\n";
        }
        platform::TextFile file;
        if (file.Open(directory + "zpf.log", "wb") && file.Puts(log))
            file.Close();
        cnf.LogFlag = 0;
        cnf.LogPath.clear();
        CLogViewDialog viewer(cnf, directory, launcher, &window);
        viewer.resize(1000, 600);
        viewer.show();
        viewer.OpenDefault();
        ok &= save(viewer, out + "vantrel-logview.png");
        viewer.hide();
    }
    window.hide();
    return ok ? 0 : 1;
}
