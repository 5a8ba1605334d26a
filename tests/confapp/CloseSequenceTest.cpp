// The main window's model: category states, switches and password; then the close
// sequence that saves them and restarts the proxy.
#include "core/CloseSequence.h"

#include <gtest/gtest.h>

#include <deque>

#include "CoreFixture.h"
#include "core/Texts.h"
#include "platform/fake/FakeServices.h"

using confapptest::CoreFixture;
using confapptest::TestConfig;

namespace {

class ScriptedPrompt final : public UserPrompt {
public:
    std::deque<bool> answers;
    std::vector<std::string> asked, shown;
    bool AskYesNo(const std::string& text) override
    {
        asked.push_back(text);
        const bool yes = !answers.empty() && answers.front();
        if (!answers.empty())
            answers.pop_front();
        return yes;
    }
    void Show(const std::string& text) override { shown.push_back(text); }
};

class RecordingBrowser final : public BrowserSettings {
public:
    bool readable = true, enabled = true;
    std::string server;
    int port = 0;
    int applied = 0;
    bool Read(bool* on, std::string* s, int* p) override
    {
        *on = enabled;
        *s = server;
        *p = port;
        return readable;
    }
    void Apply(int, bool, bool, int) override { ++applied; }
};

class MainWindowModelTest : public CoreFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(document.Load()) << document.loadError();
        model.Load();
    }
    MainWindowModel model{document};
};

class CloseSequenceTest : public MainWindowModelTest {
protected:
    CloseOutcome close(AppCommandLine line = {})
    {
        ProxyRestartEnv env{services, objects, launcher, dir.path(), 0};
        return CloseAndSave(model, document, line, prompt, browser, env);
    }
    ScriptedPrompt prompt;
    RecordingBrowser browser;
    platform::fake::FakeServiceController services;
    platform::fake::FakeNamedObjects objects;
    platform::fake::FakeProgramLauncher launcher;
};

// The restart alone, before any close sequence.
class ProxyRestartTest : public ::testing::Test {
protected:
    ProxyRestartEnv env{services, objects, launcher, "/opt/zpf/", 0};
    platform::fake::FakeServiceController services;
    platform::fake::FakeNamedObjects objects;
    platform::fake::FakeProgramLauncher launcher;
};

} // namespace

TEST_F(CloseSequenceTest, NothingChangedAsksNothingAndWritesNothing)
{
    const std::string before = read("zpf.cnf");
    EXPECT_EQ(close(), CloseOutcome::NothingSaved);
    EXPECT_TRUE(prompt.asked.empty());
    EXPECT_EQ(read("zpf.cnf"), before);
    EXPECT_TRUE(launcher.spawned.empty());
}

TEST_F(CloseSequenceTest, NoWritesNothingNotEvenThePassword)
{
    model.ToggleFiltering();
    ASSERT_EQ(model.SetPassword("new"), "");
    const std::string before = read("zpf.cnf");
    prompt.answers = {false};
    EXPECT_EQ(close(), CloseOutcome::NothingSaved);
    EXPECT_EQ(prompt.asked, std::vector<std::string>{texts::kAskSave});
    EXPECT_EQ(read("zpf.cnf"), before);
    EXPECT_FALSE(platform::PathExists(dir.file("registry.db")));
    EXPECT_TRUE(launcher.spawned.empty());
}

TEST_F(CloseSequenceTest, PasswordAloneIsStoredWithoutRestart)
{
    ASSERT_EQ(model.SetPassword("secret"), "");
    prompt.answers = {true};
    EXPECT_EQ(close(), CloseOutcome::PasswordSaved);
    TestConfig reread;
    ASSERT_FALSE(reread.ReadPassword());
    EXPECT_EQ(reread.adminPassword, "secret");
    EXPECT_TRUE(launcher.spawned.empty());
    EXPECT_EQ(browser.applied, 0);
}

TEST_F(CloseSequenceTest, SaveRestartsTheTrayProxy)
{
    const struct {
        bool desk, noicon, serviceInstalled;
        std::vector<std::string> spawned;
    } cases[] = {
        {false, false, false, {dir.file("zpf"), "-tray"}},
        {false, true, false, {dir.file("zpf"), "-tray", "-noicon"}},
        {true, false, true, {dir.file("zpf"), "-tray"}}, // desk: the tray even with a service
        {false, false, true, {}},
    };
    for (const auto& c : cases) {
        launcher.spawned.clear();
        services.units.clear();
        if (c.serviceInstalled) {
            ASSERT_EQ(services.Install(kProxyServiceName, "/x/zpf"), 0);
        }
        model.ToggleFiltering();
        prompt.answers = {true};
        AppCommandLine line;
        line.desk = c.desk;
        line.noicon = c.noicon;
        EXPECT_EQ(close(line), CloseOutcome::Saved);
        EXPECT_FALSE(model.modified());
        if (c.spawned.empty()) {
            EXPECT_TRUE(launcher.spawned.empty());
            EXPECT_EQ(services.units.begin()->second.starts, 1);
            EXPECT_TRUE(services.units.begin()->second.args.empty());
        } else {
            ASSERT_EQ(launcher.spawned.size(), 1u);
            EXPECT_EQ(launcher.spawned[0], c.spawned);
        }
        EXPECT_EQ(prompt.shown.back(), texts::kRestarting);
    }
    EXPECT_EQ(browser.applied, 4);
}

TEST_F(CloseSequenceTest, BrowserProxyBecomesUpstreamUnlessItIsOurs)
{
    const struct {
        std::string server;
        int port;
        bool enabled;
        std::string proxy;
        unsigned proxyPort;
    } cases[] = {
        {"cache.example", 8080, true, "cache.example", 8080},
        {"localhost", 3036, true, "", 0},
        {"LOCALHOST", 3036, true, "", 0},
        {"localhost", 8080, true, "localhost", 8080},
        {"cache.example", 8080, false, "", 0},
        {"cache.example", 70000, true, "", 0},
    };
    for (const auto& c : cases) {
        cnf.Proxy.clear();
        cnf.ProxyPort = 0;
        cnf.SetProxy = 0;
        model.Load(); // browserSettingAtStart off
        model.SetSetProxy(true);
        browser.server = c.server;
        browser.port = c.port;
        browser.enabled = c.enabled;
        prompt.answers = {true};
        EXPECT_EQ(close(), CloseOutcome::Saved);
        EXPECT_EQ(cnf.Proxy, c.proxy) << c.server << ":" << c.port;
        EXPECT_EQ(cnf.ProxyPort, c.proxyPort) << c.server << ":" << c.port;
    }
}

TEST_F(CloseSequenceTest, FailedSaveKeepsTheWindowAndSaysWhy)
{
    // A group name that cannot be written makes the save refuse.
    ASSERT_EQ(cnf.AddGroup("kids"), "");
    cnf.groupList[1].name = "bad\nname";
    model.ToggleFiltering();
    prompt.answers = {true};
    EXPECT_EQ(close(), CloseOutcome::KeepOpen);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].rfind(texts::kSaveFailed, 0), 0u) << prompt.shown[0];
    EXPECT_GT(prompt.shown[0].size(), std::string(texts::kSaveFailed).size()) << "says why";
    EXPECT_TRUE(model.modified());
    EXPECT_EQ(cnf.Filtering, 0) << "the change is kept";
    EXPECT_TRUE(launcher.spawned.empty());
}

TEST_F(CloseSequenceTest, DamagedFileIsReplacedOnlyWithConsent)
{
    cnf.unreadableFiles = {dir.file("zpf.cnf")};
    for (const bool agree : {false, true}) {
        model.ToggleFiltering();
        prompt.answers = {true, agree};
        EXPECT_EQ(close(), agree ? CloseOutcome::Saved : CloseOutcome::KeepOpen);
        ASSERT_GE(prompt.asked.size(), 2u);
        EXPECT_NE(prompt.asked[1].find(dir.file("zpf.cnf")), std::string::npos);
        prompt.asked.clear();
    }
}

TEST_F(ProxyRestartTest, RunningTrayProxyIsAskedToEndFirst)
{
    std::vector<std::string> received;
    auto owner = objects.AcquireInstance(kProxyWindowClass, [&](const std::string& m) { received.push_back(m); });
    ASSERT_TRUE(owner);
    // Without its events the proxy is left alone and nothing is started.
    EXPECT_EQ(RestartTrayProxy(env, false), RestartResult::NoEvents);
    EXPECT_TRUE(launcher.spawned.empty());

    auto queryExit = objects.CreateNamedEvent(kProxyQueryExitEvent, false, false);
    auto dead = objects.CreateNamedEvent(kProxyDeadEvent, false, false);
    // It does not end: no second proxy.
    EXPECT_EQ(RestartTrayProxy(env, false), RestartResult::StillRunning);
    EXPECT_TRUE(objects.IsSignalled(kProxyQueryExitEvent));
    EXPECT_EQ(received, std::vector<std::string>{"close"});
    EXPECT_TRUE(launcher.spawned.empty());

    // It ends: the new one is started.
    dead->Signal();
    owner.reset();
    EXPECT_EQ(RestartTrayProxy(env, true), RestartResult::Restarted);
    ASSERT_EQ(launcher.spawned.size(), 1u);
    EXPECT_EQ(launcher.spawned[0], (std::vector<std::string>{"/opt/zpf/zpf", "-tray", "-noicon"}));

    launcher.spawnResult = false;
    EXPECT_EQ(RestartTrayProxy(env, false), RestartResult::StartFailed);
    EXPECT_STRNE(RestartResultText(RestartResult::StartFailed), "");
}

TEST_F(MainWindowModelTest, CategoryStatesReachZpfCnfOfGroupZero)
{
    ASSERT_EQ(model.categories().size(), 3u);
    EXPECT_EQ(model.categories()[0].name, "アダルト");
    EXPECT_EQ(model.categories()[0].state, 1);
    EXPECT_EQ(model.categories()[2].state, 2);

    model.StoreCategories();
    EXPECT_FALSE(model.modified()) << "storing unchanged states is no change";

    // Clicks cycle 0 -> 1 -> 2 -> 0: states 1, 0, 2 become 2, 1, 0.
    for (size_t row = 0; row < 3; ++row)
        model.SetCategoryState(row, MainWindowModel::NextState(model.categories()[row].state));
    model.SetCategoryState(7, 1); // no such row: ignored
    model.StoreCategories();
    EXPECT_TRUE(model.modified());
    ASSERT_TRUE(document.Save(false).ok);

    TestConfig reread;
    ASSERT_FALSE(reread.Initialize()) << reread.errorText;
    const std::string text = reread.FormatZpfCnf(false);
    const std::string expected =
        "#\x83\x41\x83\x5f\x83\x8b\x83\x67\nadult.fdb=2\n#Game\ngame.fdb=1\n#News\nnews.fdb=0\n";
    EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST_F(MainWindowModelTest, SwitchesAndPasswordSetTheirFlags)
{
    EXPECT_FALSE(model.browserSettingAtStart());
    EXPECT_STREQ(model.filteringText(), texts::kFilteringOn);
    model.ToggleFiltering();
    EXPECT_EQ(cnf.Filtering, 0);
    EXPECT_STREQ(model.filteringText(), texts::kFilteringOff);
    EXPECT_TRUE(model.modified());
    model.ClearModified();

    model.SetSetProxy(true);
    model.SetAutoUpdate(true);
    EXPECT_EQ(cnf.SetProxy, 1);
    EXPECT_EQ(cnf.AutoUpdateAtBoot, 1);
    EXPECT_TRUE(model.modified());
    EXPECT_FALSE(model.passwordChanged());

    EXPECT_EQ(model.SetPassword("パス"), "");
    EXPECT_EQ(cnf.adminPassword, "\x83\x70\x83\x58");
    EXPECT_EQ(model.password(), "パス");
    EXPECT_TRUE(model.passwordChanged());
    EXPECT_EQ(model.SetPassword("😀"), texts::kPasswordUnencodable);
    EXPECT_EQ(model.password(), "パス");

    EXPECT_EQ(MainWindowModel::DateText(""), texts::kNeverUpdated);
    EXPECT_EQ(MainWindowModel::DateText(nullptr), texts::kNeverUpdated);
    EXPECT_EQ(MainWindowModel::DateText("2026/12/07"), "2026/12/07");
}

TEST(CategoryColoursTest, StatesAndTextColours)
{
    const Rgb window{255, 255, 255}, black{0, 0, 0};
    EXPECT_EQ(CategoryBackground(0, window), window);
    EXPECT_EQ(CategoryBackground(1, window), (Rgb{0xFF, 0xE0, 0xE8}));
    EXPECT_EQ(CategoryBackground(2, window), (Rgb{0xD0, 0xFF, 0xFF}));
    const struct {
        bool enabled;
        Rgb text, background, expected;
    } cases[] = {
        {true, black, window, black},
        {false, black, window, {128, 128, 128}},
        {true, window, window, {192, 192, 192}},
        {false, black, {128, 128, 128}, {192, 192, 192}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CategoryText(c.enabled, c.text, c.background), c.expected);
}
