// Instance locks and the local control channel between processes of one program
// directory.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/Event.h"
#include "platform/InstanceLock.h"
#include "platform/NamedEvent.h"
#include "support/TempDir.h"

namespace {

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
