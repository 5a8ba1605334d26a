#include "core/ProxyRestart.h"

#include <gtest/gtest.h>

#include "platform/fake/FakeServices.h"

namespace {

class ProxyRestartTest : public ::testing::Test {
protected:
    ProxyRestartEnv env{services, objects, launcher, "/opt/zpf/", 0};
    platform::fake::FakeServiceController services;
    platform::fake::FakeNamedObjects objects;
    platform::fake::FakeProgramLauncher launcher;
};

} // namespace

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
