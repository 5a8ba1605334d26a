// In-process and named events: reset modes, waits with time limits, waiting on
// several events, and named events shared between handles and processes; then instance
// locks and the local control channel between processes of one program directory.
#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/Event.h"
#include "platform/InstanceLock.h"
#include "platform/NamedEvent.h"
#include "support/TempDir.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool pollReadable(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

TEST(EventTest, ManualResetStaysSignalledAndPollsAutoResetIsTakenOnce)
{
    platform::Event e(true);
    EXPECT_FALSE(e.Test());
    EXPECT_FALSE(pollReadable(e.PollDescriptor()));
    e.Set();
    e.Set();
    EXPECT_TRUE(e.Test());
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(pollReadable(e.PollDescriptor()));
    e.Reset();
    EXPECT_FALSE(e.IsSet());
    EXPECT_FALSE(pollReadable(e.PollDescriptor()));

    platform::Event a(false);
    EXPECT_EQ(a.PollDescriptor(), -1);
    a.Set();
    EXPECT_TRUE(a.Test());
    EXPECT_FALSE(a.Test());
    auto start = Clock::now();
    EXPECT_FALSE(a.Wait(50));
    EXPECT_GE(Clock::now() - start, 45ms);
}

TEST(EventTest, WaitsWakeWhenAnotherThreadSetsAndWaitAnyPrefersEarlier)
{
    platform::Event failed(true), bound(true);
    EXPECT_EQ(platform::Event::WaitAny({&failed, &bound}, 20), -1);
    bound.Set();
    failed.Set();
    EXPECT_EQ(platform::Event::WaitAny({&failed, &bound}, 0), 0);

    platform::Event a(true), b(false), c(true);
    std::thread t([&] {
        std::this_thread::sleep_for(20ms);
        c.Set();
        std::this_thread::sleep_for(20ms);
        b.Set();
    });
    EXPECT_TRUE(c.Wait(5000));
    EXPECT_EQ(platform::Event::WaitAny({&a, &b}), 1);
    t.join();
    EXPECT_FALSE(b.IsSet()); // the auto-reset event was taken
}

// Sessions look at the stop event without its lock: one woken by the descriptor
// decides by IsSet whether it was the stop, so it must find the event set.
TEST(EventTest, WokenByTheDescriptorFindsTheEventSet)
{
    platform::Event stop(true);
    for (int round = 0; round < 200; ++round) {
        std::thread setter([&] { stop.Set(); });
        pollfd p{stop.PollDescriptor(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 10000), 1);
        EXPECT_TRUE(stop.IsSet()) << "round " << round;
        setter.join();
        stop.Reset();
        EXPECT_FALSE(pollReadable(stop.PollDescriptor()));
    }
}

class NamedEventTest : public ::testing::Test {
protected:
    zpftest::TempDir dir;
    std::string run = platform::RuntimeDirectory(dir.path());
};

TEST_F(NamedEventTest, OpenFindsOnlyHeldEventsAndBadNamesAreRefused)
{
    platform::NamedEvent opener;
    EXPECT_FALSE(opener.Create(run, "a/b", true, false));
    EXPECT_FALSE(opener.IsOpen());
    EXPECT_FALSE(opener.Signal());
    EXPECT_FALSE(opener.Wait(0));
    EXPECT_FALSE(opener.Open(run, "__zpfkeeperStop"));
    {
        platform::NamedEvent owner;
        ASSERT_TRUE(owner.Create(run, "__zpfkeeperStop", true, false));
        ASSERT_TRUE(opener.Open(run, "__zpfkeeperStop"));
        EXPECT_TRUE(opener.Signal());
        EXPECT_TRUE(owner.Test());
        EXPECT_TRUE(owner.Test()); // manual reset
        opener.Close();
    }
    // The last holder closed: the file left behind is not an event any more.
    EXPECT_FALSE(opener.Open(run, "__zpfkeeperStop"));
}

TEST_F(NamedEventTest, AutoResetIsTakenOnceAcrossHandles)
{
    platform::NamedEvent a, b;
    ASSERT_TRUE(a.Create(run, "__zpfDead", false, false));
    // A second create opens the existing event and keeps its state.
    ASSERT_TRUE(b.Create(run, "__zpfDead", true, true));
    EXPECT_FALSE(b.Test());
    a.Signal();
    EXPECT_TRUE(b.Wait(1000));
    EXPECT_FALSE(a.Test());
    EXPECT_FALSE(a.Wait(30));
}

TEST_F(NamedEventTest, StaleStateFromADeadProcessIsForgotten)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        platform::NamedEvent e;
        (void)e.Create(run, "__zpfQueryExit", true, true);
        ::_exit(0); // dies holding a signalled event
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    platform::NamedEvent e;
    EXPECT_FALSE(e.Open(run, "__zpfQueryExit"));
    ASSERT_TRUE(e.Create(run, "__zpfQueryExit", false, false));
    EXPECT_FALSE(e.Test());
}

TEST_F(NamedEventTest, SignalFromAnotherProcessEndsAWait)
{
    platform::NamedEvent e;
    ASSERT_TRUE(e.Create(run, "__zpfServiceStop", true, false));
    pid_t pid = ::fork();
    if (pid == 0) {
        platform::NamedEvent other;
        bool ok = other.Open(run, "__zpfServiceStop") && other.Signal();
        ::_exit(ok ? 0 : 1);
    }
    EXPECT_TRUE(e.Wait(5000));
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(InstanceLockTest, OneHolderAtATime)
{
    zpftest::TempDir dir;
    const std::string run = platform::RuntimeDirectory(dir.path());
    EXPECT_FALSE(platform::InstanceExists(run, "zpfWndClass"));
    platform::InstanceLock first, second;
    ASSERT_TRUE(first.Acquire(run, "zpfWndClass"));
    EXPECT_TRUE(platform::InstanceExists(run, "zpfWndClass"));
    EXPECT_FALSE(second.Acquire(run, "zpfWndClass"));
    EXPECT_TRUE(second.Acquire(run, "zpfkeeperWndClass"));
    first.Release();
    EXPECT_FALSE(platform::InstanceExists(run, "zpfWndClass"));

    // Another process sees the lock, and sees it gone with that process.
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(platform::InstanceExists(run, "zpfkeeperWndClass") ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(InstanceLockTest, ControlMessagesReachTheOwner)
{
    zpftest::TempDir dir;
    // A deep directory whose socket path does not fit a socket address.
    std::string deep = dir.path() + std::string(90, 'd') + "/" + std::string(40, 'e') + "/";
    std::filesystem::create_directories(deep);
    for (const std::string& base : {dir.path(), deep}) {
        const std::string run = platform::RuntimeDirectory(base);
        platform::InstanceLock lock;
        ASSERT_TRUE(lock.Acquire(run, "zpfWndClass"));
        platform::Event got(true);
        std::string received;
        platform::ControlChannel channel;
        ASSERT_TRUE(channel.Start(run, "zpfWndClass", [&](const std::string& m) {
            received = m;
            got.Set();
        }));
        EXPECT_TRUE(platform::SendControlMessage(run, "zpfWndClass", platform::kCloseMessage));
        ASSERT_TRUE(got.Wait(5000));
        EXPECT_EQ(received, "close");
        channel.Stop();
        EXPECT_FALSE(platform::SendControlMessage(run, "zpfWndClass", "close", 200));
    }
}

} // namespace
