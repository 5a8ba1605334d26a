// The proxy's command-line words, service arguments and the keeper's arguments; then the
// tray window's logic without a display: close roads, password, version text, status
// lines and their queue.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "config/ConfigrationFile.h"
#include "host/DaemonControl.h"
#include "host/ProxyCommandLineInfo.h"
#include "host/ServiceMain.h"
#include "host/tray/TrayModel.h"

namespace {

struct Flags {
    int install, remove, debug, tray, phrase, keep, noicon;
    bool operator==(const Flags&) const = default;
};

Flags flagsOf(const ProxyCommandLineInfo& i)
{
    return {i.install, i.remove, i.debug, i.tray, i.phrase, i.keep, i.noicon};
}

Flags parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "zpf");
    ProxyCommandLineInfo info;
    info.Parse(static_cast<int>(args.size()), args.data());
    return flagsOf(info);
}

TEST(CommandLineTest, WordsSetTheirFlags)
{
    EXPECT_EQ(parse({}), (Flags{0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(parse({"-TRAY"}), (Flags{0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(parse({"/tray"}), (Flags{0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(parse({"tray"}), (Flags{0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(parse({"install", "remove"}), (Flags{1, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(parse({"-debug", "/Keep", "NOICON", "phrase"}), (Flags{0, 0, 1, 0, 1, 1, 1}));
    // Not the words: a second dash, a longer word, other text.
    EXPECT_EQ(parse({"--tray", "keeper", "-trayx", "x", ""}), (Flags{0, 0, 0, 0, 0, 0, 0}));
}

TEST(CommandLineTest, ServiceArgumentsNeedADashAndSayKeeper)
{
    struct Case {
        std::vector<const char*> args;
        int debug, keep;
    };
    const std::vector<Case> cases = {
        {{"zpf", "-keeper"}, 0, 1},         {{"zpf", "/DEBUG"}, 1, 0}, {{"zpf", "-keep"}, 0, 0},
        {{"zpf", "keeper", "debug"}, 0, 0}, {{"-debug"}, 0, 0}, // the first argument is the service name
    };
    for (const auto& c : cases) {
        ProxyCommandLineInfo info;
        ScanServiceArguments(static_cast<int>(c.args.size()), c.args.data(), info);
        EXPECT_EQ(info.debug, c.debug);
        EXPECT_EQ(info.keep, c.keep);
    }
}

class KeeperArgumentsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        config->CheckDuration = 0;
        config->RebootAt.clear();
        config->AutoUpdateAt.clear();
        config->AutoUpdateAtBoot = 0;
        config->SetProxy = 0;
        config->Port = 3036;
    }
    ConfigrationFileSigleton* config = ConfigrationFileSigleton::getInstance();
};

TEST_F(KeeperArgumentsTest, FollowTheSettings)
{
    EXPECT_FALSE(config->bZpfKeep());
    EXPECT_EQ(KeeperArguments(*config), std::vector<std::string>{"-d0"});
    config->CheckDuration = 30;
    config->RebootAt = "2:05";
    config->AutoUpdateAt = "7";
    config->SetProxy = 1;
    config->Port = 8080;
    config->AutoUpdateAtBoot = 1;
    EXPECT_TRUE(config->bZpfKeep());
    EXPECT_EQ(KeeperArguments(*config), (std::vector<std::string>{"-d30", "-t2:05", "-u7:07", "-u8080", "-a"}));
}

// The texts for a port in use and a missing configuration are shown end to end.
TEST(DaemonControlTest, ErrorTextAndAStopWithoutStart)
{
    EXPECT_STREQ(DaemonControl::getInstance().ErrorText(), "Filtering Initialization failed.");
    DaemonControl::getInstance().StopDaemon(); // never started: returns at once
}

using tray::CloseRoad;

TEST(TrayModelTest, CloseHandlerTakesTheRoadOfEachRequest)
{
    struct Case {
        const char* name;
        bool queryExit, exitRequested;
        int edition;
        bool passwordRead;
        const char* password;
        CloseRoad road;
    };
    const Case cases[] = {
        {"asked to exit by the configuration application", true, true, 2, true, "pw", CloseRoad::CloseNow},
        {"a close message with the event set", true, false, 2, true, "pw", CloseRoad::CloseNow},
        {"caption close or close message", false, false, 2, true, "pw", CloseRoad::Hide},
        {"Exit with a password", false, true, 2, true, "pw", CloseRoad::AskPassword},
        {"Exit, password empty", false, true, 2, true, "", CloseRoad::AskReallyExit},
        {"Exit, password unreadable", false, true, 2, false, "pw", CloseRoad::AskReallyExit},
        {"Exit in the network edition", false, true, 1, true, "pw", CloseRoad::AskReallyExit},
    };
    for (const Case& c : cases) {
        bool queryExit = c.queryExit;
        tray::CloseHandler handler({[&] { return std::exchange(queryExit, false); },
                                    [&](std::string& pw) {
                                        pw = c.password;
                                        return c.passwordRead;
                                    },
                                    c.edition});
        if (c.exitRequested)
            handler.RequestExit();
        EXPECT_EQ(handler.OnClose(), c.road) << c.name;
        if (c.road == CloseRoad::AskPassword) {
            EXPECT_EQ(handler.Password(), c.password) << c.name;
        }
        // The event decides before the Exit flag is looked at, and leaves it set.
        EXPECT_EQ(handler.ExitRequested(), c.exitRequested && c.queryExit) << c.name;
        // The flag is read once: the next close only hides.
        if (!c.queryExit) {
            EXPECT_EQ(handler.OnClose(), CloseRoad::Hide) << c.name;
        }
    }
}

TEST(TrayModelTest, PasswordMustMatchExactly)
{
    const std::string longest(255, 'x');
    struct Case {
        std::string stored, typed;
        bool accepted;
    };
    const Case cases[] = {
        {"Secret", "Secret", true},
        {"Secret", "secret", false},
        {"Secret", "Secret ", false},
        {"Secret", "", false},
        {"パス", "パス", true},
        {longest, longest, true},
        // The field takes 255 characters; what is typed beyond is not there.
        {longest, longest + "yz", true},
        {longest + "y", longest + "y", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tray::PasswordPrompt(c.stored).Accepts(c.typed), c.accepted) << c.stored << " / " << c.typed;
}

TEST(TrayModelTest, VersionTextFromTheProductVersion)
{
    const std::pair<const char*, const char*> cases[] = {
        {"3, 3, 0, 4", "Filtering Software    Ver.5.3-4"},
        {"3,3,0,4", "Filtering Software    Ver.5.3-4"},
        {"10, 0, 7, 12", "Filtering Software    Ver.12.0-12"},
        {"3, 3, 0", "Filtering Software"},
        {"3; 3; 0; 4", "Filtering Software"},
        {"", "Filtering Software"},
        {"99999999999, 1, 1, 1", "Filtering Software"},
    };
    for (const auto& [version, text] : cases)
        EXPECT_EQ(tray::VersionText(version), text) << version;
}

TEST(TrayModelTest, StatusLinesDropOneLineFeedAndStayBounded)
{
    const std::pair<std::string, std::string> cases[] = {
        {"Start OK", "Start OK"},
        {"Filtering Start\n", "Filtering Start"},
        {"two\n\n", "two\n"},
        {"\n", ""},
        {"", ""},
        {std::string(5000, 'a'), std::string(4096, 'a')},
        // A cut never splits a character: "あ" is three bytes.
        {std::string(4095, 'a') + "あ", std::string(4095, 'a')},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(tray::StatusLineText(in), out) << in.substr(0, 20);
}

TEST(TrayModelTest, Utf8IsToldFromShiftJis)
{
    const std::pair<std::string, bool> cases[] = {
        {"ascii", true},     {"パスワード", true}, {"\x83\x70\x83\x58", false}, // Shift_JIS
        {"\xC0\xAF", false}, // overlong
        {"\xE3\x81", false}, // cut short
    };
    for (const auto& [text, utf8] : cases)
        EXPECT_EQ(tray::IsUtf8(text), utf8) << text;
}

TEST(TrayModelTest, DisplayNeededOnlyByDesktopPlatforms)
{
    EXPECT_TRUE(tray::NoDisplay("", "", ""));
    EXPECT_TRUE(tray::NoDisplay("xcb", "", ""));
    EXPECT_TRUE(tray::NoDisplay("wayland-egl", "", ""));
    EXPECT_FALSE(tray::NoDisplay("", ":0", ""));
    EXPECT_FALSE(tray::NoDisplay("", "", "wayland-0"));
    EXPECT_FALSE(tray::NoDisplay("offscreen", "", ""));
}

TEST(TrayModelTest, StatusQueueKeepsOrderWakesOncePerBatchAndDropsTheOldest)
{
    tray::StatusQueue queue(3);
    int wakes = 0;
    queue.Push("before the window\n");
    queue.SetWake([&] { ++wakes; });
    EXPECT_EQ(wakes, 1); // lines were waiting
    for (const char* line : {"a", "b", "c", "d"})
        queue.Push(line);
    EXPECT_EQ(wakes, 1);
    size_t dropped = 0;
    EXPECT_EQ(queue.Take(&dropped), (std::vector<std::string>{"b", "c", "d"}));
    EXPECT_EQ(dropped, 2u);
    queue.Push("e");
    EXPECT_EQ(wakes, 2);
    queue.SetWake({});
    queue.Push("f");
    EXPECT_EQ(wakes, 2);
    EXPECT_EQ(queue.Take(&dropped), (std::vector<std::string>{"e", "f"}));
    EXPECT_EQ(dropped, 0u);
}

} // namespace
