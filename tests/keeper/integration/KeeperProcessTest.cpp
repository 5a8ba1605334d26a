// The built keeper in a temporary program directory: it brings back a killed tray proxy
// within its check interval, lets one stopped on purpose rest, stays alone per program
// directory even after a crash, and gets its systemd unit through zpf.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "integration/ZpfProcess.h"
#include "platform/InstanceLock.h"
#include "platform/NamedEvent.h"

namespace {
using zpftest::InstalledZpf;

class KeeperProcessTest : public ::testing::Test {
protected:
    ~KeeperProcessTest() override
    {
        // Whatever the test left running ends: the keeper first, then the tray proxy.
        platform::NamedEvent stop;
        if (stop.Open(run(), "__zpfkeeperStop"))
            stop.Signal();
        zpftest::WaitUntil([&] { return !platform::InstanceExists(run(), "zpfkeeperWndClass"); }, 3000);
        askProxyToEnd();
    }

    std::string run() const { return platform::RuntimeDirectory(zpf.path()); }
    bool proxyRuns() const { return platform::InstanceExists(run(), "zpfWndClass"); }
    bool keeperRuns() const { return platform::InstanceExists(run(), "zpfkeeperWndClass"); }

    /// What a configuration application does to end the tray proxy; true once it ended.
    bool askProxyToEnd()
    {
        platform::NamedEvent queryExit;
        if (!proxyRuns() || !queryExit.Open(run(), "__zpfQueryExit"))
            return !proxyRuns();
        queryExit.Signal();
        (void)platform::SendControlMessage(run(), "zpfWndClass", platform::kCloseMessage);
        return zpftest::WaitUntil([&] { return !proxyRuns(); }, 10000);
    }

    pid_t startKeeper(const std::vector<std::string>& args, const std::string& out)
    {
        std::vector<std::string> argv{zpf.file("zpfkeeper")};
        argv.insert(argv.end(), args.begin(), args.end());
        return zpftest::Spawn(argv, zpf.file(out));
    }

    int waitExit(pid_t pid, int timeoutMs)
    {
        int status = 0;
        if (!zpftest::WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    InstalledZpf zpf;
};

TEST_F(KeeperProcessTest, KilledTrayProxyIsBackWithinTheIntervalAndAStoppedOneIsNot)
{
    zpf.setSetting("CheckDuration", "1");
    // The keeper and the proxies it starts inherit this: no display is needed.
    const pid_t pid = zpf.start({"tray"}, {{"QT_QPA_PLATFORM", "offscreen"}});
    ASSERT_TRUE(zpf.waitListening(pid)) << zpf.readBytes(zpf.lastErr);
    ASSERT_TRUE(zpftest::WaitUntil([&] { return keeperRuns(); }, 5000)) << zpf.readBytes("status.log");

    ::kill(pid, SIGKILL);
    EXPECT_EQ(zpf.wait(pid, 5000), 128 + SIGKILL);
    const auto killed = std::chrono::steady_clock::now();
    ASSERT_TRUE(zpftest::WaitUntil([&] { return proxyRuns(); }, 5000)) << zpf.readBytes("status.log");
    // One interval, plus the moment the new process needs to take its instance.
    EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::milliseconds(2500));
    EXPECT_TRUE(zpf.waitAnyListening(10000));
    EXPECT_TRUE(zpf.waitForText("status.log", "zpfkeeper: zpf is not running; starting it"));

    const zpftest::ProgramResult status = zpftest::RunZpfctl(zpf.path(), "keeper status");
    EXPECT_EQ(status.status, 0);
    EXPECT_NE(status.out.find("keeper: running\n"), std::string::npos) << status.out;
    EXPECT_NE(status.out.find("arguments: -d1 -tray\n"), std::string::npos) << status.out;
    EXPECT_EQ(status.out.find("last restart: none"), std::string::npos) << status.out;

    // Ended on purpose: the keeper ends too and starts nothing.
    ASSERT_TRUE(askProxyToEnd());
    EXPECT_TRUE(zpftest::WaitUntil([&] { return !keeperRuns(); }, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_FALSE(proxyRuns());
    EXPECT_TRUE(zpf.waitForText("status.log", "the proxy stopped on purpose"));
}

TEST_F(KeeperProcessTest, OneKeeperPerProgramDirectoryAndACrashedOneBlocksNothing)
{
    // Nothing to keep: it ends at once.
    EXPECT_EQ(waitExit(startKeeper({"-d0"}, "k0.txt"), 5000), 0);

    const pid_t first = startKeeper({"-d1", "-t3:00"}, "k1.txt");
    ASSERT_TRUE(zpftest::WaitUntil([&] { return keeperRuns(); }, 5000));
    EXPECT_EQ(waitExit(startKeeper({"-d1", "-bogus", "-d999"}, "k2.txt"), 5000), 1);
    const std::string refused = zpf.readBytes("k2.txt");
    EXPECT_NE(refused.find("unknown argument '-bogus'"), std::string::npos) << refused;
    EXPECT_NE(refused.find("a keeper already runs"), std::string::npos) << refused;

    ::kill(first, SIGKILL);
    EXPECT_EQ(waitExit(first, 5000), 128 + SIGKILL);
    const pid_t next = startKeeper({"-d1"}, "k3.txt");
    ASSERT_TRUE(zpftest::WaitUntil([&] { return keeperRuns(); }, 5000)) << zpf.readBytes("k3.txt");
    platform::NamedEvent stop;
    ASSERT_TRUE(stop.Open(run(), "__zpfkeeperStop"));
    stop.Signal();
    EXPECT_EQ(waitExit(next, 5000), 0);
}

TEST_F(KeeperProcessTest, InstallAndRemoveHandleBothUnits)
{
    const std::string units = zpf.file("units");
    std::filesystem::create_directories(units);
    const std::map<std::string, std::string> env{{"ZPF_UNIT_DIR", units}};
    EXPECT_EQ(zpf.run({"install"}, env), 0);
    EXPECT_EQ(zpf.readBytes(zpf.lastOut), "Filtering Service installed.\nFiltering Keeper installed.\n");
    const std::string proxyUnit = zpf.readBytes("units/filtering-service.service");
    EXPECT_NE(proxyUnit.find("Restart=on-failure\n"), std::string::npos) << proxyUnit;
    const std::string keeperUnit = zpf.readBytes("units/filtering-keeper.service");
    EXPECT_NE(keeperUnit.find("Type=simple\n"), std::string::npos) << keeperUnit;
    EXPECT_NE(keeperUnit.find("EnvironmentFile=-" + units + "/filtering-keeper.service.args\n"), std::string::npos)
        << keeperUnit;
    EXPECT_NE(keeperUnit.find("ExecStart=\"" + zpf.file("zpfkeeper") + "\" $ZPF_SERVICE_ARGS\n"), std::string::npos)
        << keeperUnit;

    EXPECT_EQ(zpf.run({"remove"}, env), 0);
    EXPECT_EQ(zpf.readBytes(zpf.lastOut), "Filtering Service removed.\nFiltering Keeper removed.\n");
    EXPECT_FALSE(std::filesystem::exists(units + "/filtering-keeper.service"));
}
} // namespace
