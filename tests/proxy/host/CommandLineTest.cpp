// The proxy's command-line words, service arguments and the keeper's arguments.
#include <gtest/gtest.h>

#include <vector>

#include "config/ConfigrationFile.h"
#include "host/DaemonControl.h"
#include "host/ProxyCommandLineInfo.h"
#include "host/ServiceMain.h"

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

} // namespace
