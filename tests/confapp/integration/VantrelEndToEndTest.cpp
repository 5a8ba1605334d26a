// Vantrel's roads end to end: a category ticked in the main window, or a phrase added on
// the additional-filter page, and saved makes the running tray proxy, restarted by
// Vantrel, block or blank it; the update button fetches a published database from nginx.
// The log viewer over the log a running proxy writes: blocks made with curl show up,
// the category filter keeps one kind, a block made while the viewer is open arrives by
// following the file, and the printed PDF holds the blocked address.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QTabWidget>
#include <QTimer>

#include "common/BaseDirectory.h"
#include "common/Encoding.h"
#include "config/ConfigrationFile.h"
#include "core/CloseSequence.h"
#include "integration/ServerFixtures.h"
#include "integration/ZpfProcess.h"
#include "platform/InstanceLock.h"
#include "platform/NamedEvent.h"
#include "platform/NamedObjects.h"
#include "update/FilterUpdate.h"
#include "views/CategoryList.h"
#include "views/LogTableModel.h"
#include "views/LogViewDialog.h"
#include "views/MainWindow.h"
#include "views/SettingsSheet.h"
#include "../CoreFixture.h"
#include "../QtTestApp.h"
#include "core/Texts.h"
#include "platform/fake/FakeServices.h"

namespace fs = std::filesystem;
using zpftest::InstalledZpf;

namespace {

// nginx serving the sample database, published by zpfctl with one category more.
class PublishedDatabase : public zpftest::ServerProgram {
public:
    void Start()
    {
        if (nginxHome().empty())
            return;
        zpftest::TempDir src;
        for (const auto& entry : fs::directory_iterator(ZPF_TEST_DATA_DIR "/../../data/"))
            fs::copy_file(entry.path(), src.file(entry.path().filename().string()));
        src.writeBytes("category2.cnf.txt",
                       src.readBytes("category2.cnf.txt") +
                           "1|E|0|109|\x90\x56\x82\xb5\x82\xa2\x95\xaa\x97\xde" // 新しい分類 in Shift_JIS
                           "|extra1.fdb|http://update.invalid/zpfl/extra1.fdb\n");
        src.writeBytes("extra1.fdb.txt", "extra-one.example/\n");
        fs::create_directories(m_home.file("www"));
        const auto r = zpftest::RunZpfctl(src.path(), "publish '" + src.path() + "' '" + m_home.file("www/db") + "'");
        if (r.status != 0) {
            failure = "publish: " + r.err;
            return;
        }
        launchNginx("  access_log @DIR@access.log;\n  server { listen 127.0.0.1:@PORT@; root @DIR@www/; }\n");
    }
    std::string root() const { return "http://127.0.0.1:" + std::to_string(port) + "/db/"; }
};

class VantrelEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        confapptest::EnsureApplication();
        SetBaseDirectory(zpf.path());
        cnf->SetDefaultPaths();
        CUpdateDateSigleton::getInstance()->SetDateTxt(zpf.file("day.txt").c_str());
    }
    void TearDown() override
    {
        zpf.endTray();
        SetUpdateServer(std::string("http://") + "update.invalid/");
    }
    std::string run() const { return platform::RuntimeDirectory(zpf.path()); }

    InstalledZpf zpf;
    // No service unit here: the proxy is restarted in the tray.
    zpftest::ScopedEnv unitDir{"ZPF_UNIT_DIR", zpf.path()}, noSystemctl{"ZPF_SYSTEMCTL"};
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
};

} // namespace

TEST_F(VantrelEndToEndTest, TickedCategoryIsBlockedByTheRestartedTrayProxy)
{
    if (zpftest::FindProgram("curl").empty())
        GTEST_SKIP() << "curl is not installed (tools/deps.sh installs it)";
    zpf.setSetting("BlockLog", "1");
    const pid_t first = zpf.start({"-tray"});
    ASSERT_TRUE(zpf.waitListening(first)) << zpf.readBytes(zpf.lastErr);
    const std::string url = "http://game.example/";
    ASSERT_FALSE(zpf.blockLogged(url)) << "the sample leaves games alone";

    SettingsDocument document(*cnf, zpf.path());
    platform::SystemdServiceController services;
    platform::RuntimeNamedObjects objects(run());
    platform::PosixProgramLauncher launcher;
    ProxyRestartEnv restart{services, objects, launcher, zpf.path(), 10000};
    confapptest::NoBrowser browser;
    confapptest::RecordingPrompt prompt;
    prompt.answer = true;
    MainWindow window(document, AppCommandLine{}, {restart, browser});
    window.SetPrompt(&prompt);
    CategoryList* list = window.categoryList();
    ASSERT_NE(list, nullptr);
    const int game = cnf->categoryList.FindKey("game.fdb");
    int row = -1;
    for (size_t i = 0; i < window.model().categories().size(); ++i) {
        if (window.model().categories()[i].index == game)
            row = static_cast<int>(i);
    }
    ASSERT_GE(row, 0);
    ASSERT_EQ(window.model().categories()[static_cast<size_t>(row)].state, 0);
    emit list->itemClicked(list->item(row)); // 0 -> 1: blocked

    EXPECT_TRUE(window.close());
    EXPECT_EQ(window.lastClose(), CloseOutcome::Saved);
    EXPECT_EQ(zpf.wait(first, 10000), 0) << "the old proxy ended on the request";
    ASSERT_TRUE(zpf.waitAnyListening()) << "the new proxy listens";
    EXPECT_TRUE(zpftest::WaitUntil([&] { return zpf.blockLogged(url); }, 10000));
    EXPECT_EQ(prompt.shown, std::vector<std::string>{texts::kRestarting});
}

TEST_F(VantrelEndToEndTest, UpdateButtonInstallsThePublishedDatabase)
{
    PublishedDatabase server;
    server.Start();
    if (server.missing)
        GTEST_SKIP() << "nginx is not installed (tools/deps.sh installs it)";
    ASSERT_TRUE(server.Ready()) << server.failure << server.Log("error.log");

    SettingsDocument document(*cnf, zpf.path());
    platform::fake::FakeServiceController services;
    platform::fake::FakeNamedObjects objects;
    platform::fake::FakeProgramLauncher launcher;
    ProxyRestartEnv restart{services, objects, launcher, zpf.path(), 0};
    confapptest::NoBrowser browser;
    confapptest::RecordingPrompt prompt;
    prompt.answer = true;
    // The fixed files from the start word's base, the category files from the update
    // server, as a build configured for this server would have it.
    ASSERT_TRUE(SetUpdateServer(server.root()));
    AppCommandLine line = AppCommandLine::Parse({"-u" + server.root() + "zpfl/"});
    MainWindow window(document, line, {restart, browser});
    window.SetPrompt(&prompt);
    const size_t before = window.model().categories().size();
    EXPECT_EQ(window.model().dateText(), "Never");

    window.RunUpdate();
    ASSERT_EQ(window.model().categories().size(), before + 1)
        << server.Log("access.log") << (prompt.shown.empty() ? "" : prompt.shown[0]);
    EXPECT_EQ(window.model().categories().back().name, "新しい分類");
    EXPECT_EQ(window.model().categories().back().state, 1);
    EXPECT_EQ(window.categoryList()->count(), static_cast<int>(before + 1));
    EXPECT_NE(window.model().dateText(), "Never");
    EXPECT_TRUE(window.model().modified());
    EXPECT_TRUE(window.isEnabled());
    EXPECT_TRUE(fs::exists(zpf.file("extra1.fdb")));
    EXPECT_TRUE(server.WaitForLog("access.log", "/db/zpfl/extra1.fdb"));
}

TEST_F(VantrelEndToEndTest, PhraseAddedOnTheAdditionalFilterPageIsBlanked)
{
    if (zpftest::FindProgram("curl").empty())
        GTEST_SKIP() << "curl is not installed (tools/deps.sh installs it)";
    zpftest::NginxOrigin origin;
    origin.Start();
    if (origin.missing)
        GTEST_SKIP() << "nginx is not installed (tools/deps.sh installs it)";
    ASSERT_TRUE(origin.Ready()) << origin.failure << origin.Log("error.log");
    const std::string page = "http://127.0.0.1:" + std::to_string(origin.port) + "/page.html";
    const pid_t first = zpf.start({"-tray"});
    ASSERT_TRUE(zpf.waitListening(first)) << zpf.readBytes(zpf.lastErr);
    ASSERT_NE(zpf.curl({page}).body.find("Before"), std::string::npos);

    SettingsDocument document(*cnf, zpf.path());
    platform::SystemdServiceController services;
    platform::RuntimeNamedObjects objects(run());
    platform::PosixProgramLauncher launcher;
    ProxyRestartEnv restart{services, objects, launcher, zpf.path(), 10000};
    confapptest::NoBrowser browser;
    confapptest::RecordingPrompt prompt;
    prompt.answer = true;
    MainWindow window(document, AppCommandLine{}, {restart, browser});
    window.SetPrompt(&prompt);
    bool typed = false;
    // The sheet is modal: type into it once its event loop runs.
    QTimer::singleShot(0, &window, [&] {
        auto* sheet = window.findChild<SettingsSheet*>();
        if (!sheet)
            return;
        for (int i = 0; i < sheet->tabs()->count(); ++i) {
            if (sheet->tabs()->tabText(i) != QStringLiteral("追加フィルタ"))
                continue;
            sheet->tabs()->setCurrentIndex(i);
            if (auto* list = sheet->tabs()->widget(i)->findChild<QPlainTextEdit*>("listEdit")) {
                list->setPlainText(QStringLiteral("[[Before]]\n"));
                typed = true;
            }
        }
        sheet->accept();
    });
    window.OpenSettings();
    ASSERT_TRUE(typed);
    EXPECT_TRUE(window.model().modified());

    EXPECT_TRUE(window.close());
    EXPECT_EQ(window.lastClose(), CloseOutcome::Saved);
    EXPECT_EQ(zpf.wait(first, 10000), 0) << "the old proxy ended on the request";
    ASSERT_TRUE(zpf.waitAnyListening()) << "the new proxy listens";
    std::string body;
    EXPECT_TRUE(zpftest::WaitUntil(
        [&] {
            body = zpf.curl({page}).body;
            return body.find("Before") == std::string::npos && body.find("after.") != std::string::npos;
        },
        10000))
        << body;
    EXPECT_NE(body.find("      "), std::string::npos) << "blanked, not cut: " << body;
}

TEST(LogViewEndToEndTest, ViewerFiltersFollowsAndPrintsWhatTheProxyLogged)
{
    if (zpftest::FindProgram("curl").empty() || zpftest::FindProgram("pdftotext").empty())
        GTEST_SKIP() << "curl or pdftotext is missing (tools/deps.sh installs them)";
    confapptest::EnsureApplication();
    zpftest::InstalledZpf zpf;
    zpf.serve();
    (void)zpf.curl({"http://adult.example/"}, 5);
    (void)zpf.curl({"http://deai.example/"}, 5);
    ASSERT_TRUE(zpf.waitForText("zpf.log", ",http://deai.example/,(URL Block)")) << zpf.readBytes("zpf.log");

    SetBaseDirectory(zpf.path());
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    cnf->SetDefaultPaths();
    SettingsDocument document(*cnf, zpf.path());
    ASSERT_TRUE(document.Load()) << document.loadError();
    std::string adult;
    ASSERT_TRUE(cnf->GetCategoryName(101, adult));

    platform::fake::FakeProgramLauncher launcher;
    CLogViewDialog view(*cnf, zpf.path(), launcher);
    view.OpenDefault();
    EXPECT_EQ(view.windowTitle().toStdString(), zpf.file("zpf.log"));
    ASSERT_EQ(view.model()->rowCount(), 2) << zpf.readBytes("zpf.log");

    view.filterEdit("categoryEdit")->setText(QString::fromStdString(encoding::sjisToUtf8(adult)));
    ASSERT_EQ(view.model()->rowCount(), 1);
    EXPECT_EQ(view.model()->data(view.model()->index(0, 3)).toString(), QString("http://adult.example/"));

    (void)zpf.curl({"http://sample-adult.example/"}, 5);
    ASSERT_TRUE(zpf.waitForText("zpf.log", ",http://sample-adult.example/,(URL Block)"));
    view.FollowNow();
    EXPECT_EQ(view.model()->rowCount(), 2);
    EXPECT_EQ(view.document().rowCount(), 3u);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(zpf.file("log.pdf")));
    ASSERT_TRUE(view.PrintTo(printer));
    const zpftest::ProgramResult pdf = zpftest::RunProgram("pdftotext -layout '" + zpf.file("log.pdf") + "' -");
    ASSERT_EQ(pdf.status, 0) << pdf.err;
    EXPECT_NE(pdf.out.find("http://adult.example/"), std::string::npos) << pdf.out;
    EXPECT_NE(pdf.out.find("http://sample-adult.example/"), std::string::npos);
    EXPECT_EQ(pdf.out.find("http://deai.example/"), std::string::npos) << "filtered out";
    zpf.stopServing();
}
