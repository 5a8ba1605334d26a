// Draws Vantrel's main window and every tab of its settings sheet into PNG files:
//   vantrel_screenshots <program directory> <output directory>
// The windows are the application's own, over the given program directory; nothing
// is saved and no proxy is restarted.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
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

// Example groups, accounts, a week and addresses in memory only, for the network pages.
void exampleNetworkData(ConfigrationFileSigleton& cnf)
{
    (void)cnf.AddGroup("kids");
    (void)cnf.AddGroup("staff");
    cnf.zpfAuthorization = 1;
    cnf.passWordData.accounts.clear();
    for (const char* line : {"taro:pass1:0;kids", "hanako:pass2:0;kids", "admin:secret:1;staff"})
        cnf.passWordData.accounts.emplace_back(line, &cnf.groupList);
    cnf.ipList.clear();
    for (const char* line : {"192.168.1.0-192.168.1.127", "192.168.1.200"})
        cnf.ipList.SetDataFromLine(line);
    cnf.ipDataList.clear();
    for (const char* line : {"192.168.1.200", "192.168.1.0-192.168.1.63;kids;1", "192.168.1.64-192.168.1.127;staff;2"})
        cnf.ipDataList.SetDataFromLine(line);
    TimeCnfList& week = cnf.timeCnfList;
    week.ClearData(1);
    week[1].ownSchedule = true;
    for (const char* line : {"off;", "on;mon-fri;15:00-21:00", "cut;mon-fri;21:00-24:00", "cut;mon-fri;00:00-06:00",
                             "on;sat-sun;09:00-22:00", "cut;sat-sun;22:00-24:00"})
        week.PutLineData(line, 1);
}

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
    exampleNetworkData(cnf);
    SheetModel network(document, false);
    SettingsSheet networkSheet(network, 0, MakePageView, &window);
    ok &= save(networkSheet, out + "vantrel-sheet-network.png");
    // Its own tabs, over the example groups, accounts, week and addresses.
    for (int i = 0; i < networkSheet.tabs()->count(); ++i) {
        const SheetTab tab = network.tabs()[static_cast<size_t>(i)];
        const auto& all = AllSheetTabs();
        const auto info = std::find_if(all.begin(), all.end(), [tab](const SheetTabInfo& t) { return t.tab == tab; });
        if (info == all.end() || !info->networkOnly || tab == SheetTab::Time)
            continue;
        networkSheet.tabs()->setCurrentIndex(i);
        // An address in the IP pages' probe, to show its answer.
        if (auto* probe = networkSheet.tabs()->currentWidget()->findChild<QLineEdit*>("probeAddressEdit"))
            probe->setText("192.168.1.10");
        ok &= save(networkSheet, out + QString("vantrel-network-%1.png").arg(kTabFiles[static_cast<size_t>(tab)]));
    }
    for (int i = 0; i < networkSheet.tabs()->count(); ++i) {
        if (network.tabs()[static_cast<size_t>(i)] == SheetTab::Time) {
            networkSheet.tabs()->setCurrentIndex(i);
            // The group "kids" in the selector, as a user would choose it.
            QComboBox* selector = networkSheet.groupSelector();
            selector->setCurrentIndex(1);
            emit selector->activated(1);
            ok &= save(networkSheet, out + "vantrel-network-time.png");
        }
    }
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
