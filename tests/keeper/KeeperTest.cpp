// The keeper's arguments, its once-a-day timing across clock steps, and its checks
// against in-memory events, instances, services and launcher, on a settable clock.
#include <gtest/gtest.h>

#include "common/Clock.h"
#include "keeper/Keeper.h"
#include "platform/fake/FakeServices.h"
#include "support/LocalClock.h"

namespace {
// March: no daylight-saving step in the days used.
std::time_t localTime(int day, int hour, int minute) { return zpftest::LocalClock(2026, 3, day, hour, minute); }

TEST(KeeperOptionsTest, ArgumentsAreReadOrRefusedOneByOne)
{
    struct Case {
        std::vector<std::string> args;
        std::string described; // "" when the options say there is nothing to do
        size_t errors;
    };
    const Case cases[] = {
        {{"-d30", "-t2:05", "-u3:00", "-u8080", "-a"}, "-d30 -t2:05 -u3:00 -u8080 -a", 0},
        {{"-tray", "-noicon"}, "", 0},
        {{"/d1", "-tray"}, "-d1 -tray", 0},
        {{"-d301", "-d-1", "-dx", "-d"}, "", 4},
        {{"-t24:00", "-t7", "-u3:60", "-u:5", "-t1:2:3"}, "", 5},
        {{"-u0", "-u65536", "-u80x", "-u99999999999"}, "", 4},
        {{"-x", "d5", "", "-"}, "", 4},
        {{"-d0", "-t0:00"}, "-d0 -t0:00", 0},
    };
    for (const Case& c : cases) {
        std::vector<std::string> errors;
        const KeeperOptions o = ParseKeeperArguments(c.args, &errors);
        EXPECT_EQ(errors.size(), c.errors) << c.args[0];
        EXPECT_EQ(o.needed() ? o.describe() : "", c.described) << c.args[0];
    }
}

TEST(DailyScheduleTest, RunsOncePerCalendarDayAcrossClockSteps)
{
    // Each step sets the clock; due says whether the 02:00 action runs at it.
    struct Step {
        std::time_t now;
        bool due;
    };
    const Step steps[] = {
        {localTime(10, 1, 59), false},
        {localTime(10, 2, 0), true},
        {localTime(10, 2, 1), false},
        {localTime(10, 1, 30), false}, // set back an hour: not again on the 10th
        {localTime(10, 2, 0), false},
        {localTime(11, 1, 0), false},
        {localTime(14, 9, 0), true}, // slept through three days: once when it wakes
        {localTime(14, 9, 1), false},
        {localTime(12, 3, 0), false}, // set back two days: that late run counted for the 12th
        {localTime(13, 2, 0), true},
        {localTime(13, 2, 5), false},
        {localTime(15, 2, 0), true},
    };
    DailySchedule s;
    EXPECT_FALSE(s.Due(localTime(10, 0, 0)));
    s.Set(2, 0, localTime(10, 0, 0));
    EXPECT_EQ(s.Next(), localTime(10, 2, 0));
    for (const Step& step : steps)
        EXPECT_EQ(s.Due(step.now), step.due) << KeeperTimeText(step.now);
    // Set after the time of the day: the first run is tomorrow.
    s.Set(2, 0, localTime(20, 2, 0));
    EXPECT_EQ(s.Next(), localTime(21, 2, 0));
}

class KeeperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        zpfclock::SetTestClock([this] { return now; });
    }
    void TearDown() override { zpfclock::SetTestClock({}); }

    std::unique_ptr<Keeper> makeKeeper(const std::vector<std::string>& args)
    {
        KeeperServices s;
        s.objects = &objects;
        s.launcher = &launcher;
        s.services = &services;
        s.update = [this] { return ++updates, updateResult; };
        s.lastUpdate = [this] { return lastUpdate; };
        s.pointBrowsers = [this](int port) { return browserPorts.push_back(port), 0; };
        s.log = [this](const std::string& line) { log += line + "\n"; };
        s.sleep = [](int) {};
        auto keeper = std::make_unique<Keeper>(ParseKeeperArguments(args, nullptr), s, "/opt/zpf/");
        EXPECT_TRUE(keeper->Start());
        return keeper;
    }

    /// A running tray proxy that ends when asked, as the real one does: it signals
    /// "stopped on purpose", gives up its instance and signals its end.
    void runProxy()
    {
        dead = objects.CreateNamedEvent("__zpfDead", false, false);
        queryExit = objects.CreateNamedEvent("__zpfQueryExit", false, false);
        proxy = objects.AcquireInstance("zpfWndClass", [this](const std::string& message) {
            if (message != "close" || !queryExit->Test())
                return;
            auto stop = objects.OpenNamedEvent("__zpfkeeperStop");
            if (stop)
                stop->Signal();
            proxy.reset();
            dead->Signal();
        });
    }

    size_t starts() const { return launcher.spawned.size(); }

    std::time_t now = localTime(10, 12, 0);
    platform::fake::FakeNamedObjects objects;
    platform::fake::FakeProgramLauncher launcher;
    platform::fake::FakeServiceController services;
    std::unique_ptr<platform::InstanceOwnership> proxy;
    std::unique_ptr<platform::SharedEvent> dead, queryExit;
    int updates = 0;
    int updateResult = 0;
    std::time_t lastUpdate = 0;
    std::vector<int> browserPorts;
    std::string log;
};

TEST_F(KeeperTest, AProxyThatDiesAtOnceIsStartedWithGrowingPauses)
{
    auto keeper = makeKeeper({"-tray", "-noicon", "-d1"});
    // Check once a second for ten minutes; the proxy never comes up.
    std::vector<std::time_t> startTimes;
    for (int i = 0; i < 600; ++i, ++now) {
        const size_t before = starts();
        keeper->Check();
        if (starts() > before)
            startTimes.push_back(now);
    }
    ASSERT_GE(startTimes.size(), 4u);
    EXPECT_EQ(launcher.spawned[0], (std::vector<std::string>{"/opt/zpf/zpf", "-tray", "-noicon"}));
    EXPECT_LE(startTimes.size(), 10u);
    for (size_t i = 2; i < startTimes.size(); ++i)
        EXPECT_GE(startTimes[i] - startTimes[i - 1], startTimes[i - 1] - startTimes[i - 2]);
    EXPECT_LE(startTimes.back() - startTimes[startTimes.size() - 2], 300 + 1);
    EXPECT_NE(log.find("next start in 4 seconds"), std::string::npos);

    // Once one stays up through a check, a later crash is restarted at once again.
    runProxy();
    now += 400;
    keeper->Check();
    now += 1;
    keeper->Check();
    proxy.reset();
    now += 100;
    const size_t before = starts();
    keeper->Check();
    EXPECT_EQ(starts(), before + 1);
}

TEST_F(KeeperTest, DailyRestartAndUpdateRunOncePerDayAcrossClockSteps)
{
    lastUpdate = localTime(1, 0, 0);
    auto keeper = makeKeeper({"-tray", "-d5", "-t3:00", "-u4:30", "-u8080"});
    EXPECT_EQ(browserPorts, std::vector<int>{8080});
    runProxy();
    auto stop = objects.OpenNamedEvent("__zpfkeeperStop");

    struct Step {
        std::time_t now;
        size_t starts; // tray proxies started so far
        int updates;
    };
    const Step steps[] = {
        {localTime(11, 2, 59), 0, 0}, {localTime(11, 3, 0), 1, 0}, // restarted through the close request
        {localTime(11, 2, 0), 1, 0}, // set back: no second restart on the 11th
        {localTime(11, 3, 1), 1, 0},  {localTime(11, 4, 30), 2, 1}, // updated (ten days old), then restarted to load it
        {localTime(11, 4, 0), 2, 1},  {localTime(11, 4, 31), 2, 1},
        {localTime(14, 8, 0), 4, 2}, // jumped three days: each once
        {localTime(14, 9, 0), 4, 2},
    };
    for (const Step& step : steps) {
        now = step.now;
        EXPECT_TRUE(keeper->Check()) << KeeperTimeText(now);
        EXPECT_EQ(starts(), step.starts) << KeeperTimeText(now);
        EXPECT_EQ(updates, step.updates) << KeeperTimeText(now);
        // Its own restarts do not read as a stop on purpose.
        EXPECT_FALSE(stop->Test()) << KeeperTimeText(now);
        if (!objects.InstanceExists("zpfWndClass"))
            runProxy(); // what the started program does
    }
    EXPECT_EQ(keeper->restartSchedule().Next(), localTime(15, 3, 0));
    EXPECT_EQ(browserPorts.size(), 5u); // at start and after each restart

    // Updated less than 7 days ago: the daily update time passes without one; a failed
    // update leaves the proxy alone.
    lastUpdate = localTime(12, 0, 0);
    now = localTime(15, 4, 30);
    keeper->Check();
    EXPECT_EQ(updates, 2);
    lastUpdate = localTime(1, 0, 0);
    updateResult = 15;
    runProxy();
    now = localTime(16, 4, 30);
    const size_t before = starts();
    keeper->Check();
    EXPECT_EQ(updates, 3);
    EXPECT_EQ(starts(), before + 1); // the 3:00 restart only
    EXPECT_NE(log.find("code 15"), std::string::npos);
}

TEST_F(KeeperTest, ServiceModeUpdatesAtStartAndRestartsThroughTheServiceManager)
{
    ASSERT_EQ(services.Install("Filtering Service", "/opt/zpf/zpf"), 0);
    ASSERT_EQ(services.Start("Filtering Service", {}), 0);
    auto keeper = makeKeeper({"-d10", "-a", "-t1:00"});
    EXPECT_TRUE(keeper->Check());
    EXPECT_EQ(updates, 1);
    auto& unit = services.units.at("filtering-service.service");
    EXPECT_EQ(unit.starts, 2);
    EXPECT_EQ(unit.state, platform::ServiceState::Running);
    now = localTime(11, 1, 0);
    EXPECT_TRUE(keeper->Check());
    EXPECT_EQ(unit.starts, 3);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(starts(), 0u); // systemd, not the keeper, restarts a crashed service
}
} // namespace
