#include "core/ProxyRestart.h"

#include <chrono>
#include <thread>

#include "core/Texts.h"
#include "platform/InstanceLock.h"

namespace {

constexpr int kPollMs = 100;

} // namespace

RestartResult RestartProxy(ProxyRestartEnv& env, bool desk, bool noicon)
{
    if (!desk && env.services.Find(kProxyServiceName) == 0)
        return RestartFilteringService(env);
    return RestartTrayProxy(env, noicon);
}

RestartResult RestartFilteringService(ProxyRestartEnv& env)
{
    if (env.services.Find(kProxyServiceName) != 0)
        return RestartResult::NoService;
    (void)env.services.Stop(kProxyServiceName); // a stopped service refuses; it is started below all the same
    // Bounded, unlike a wait on a service that never reports stopped.
    for (int waited = 0; env.services.Query(kProxyServiceName) != platform::ServiceState::Stopped; waited += kPollMs) {
        if (waited >= env.stopWaitMs)
            return RestartResult::StillRunning;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return env.services.Start(kProxyServiceName, {}) == 0 ? RestartResult::Restarted : RestartResult::StartFailed;
}

RestartResult RestartTrayProxy(ProxyRestartEnv& env, bool noicon)
{
    if (env.objects.InstanceExists(kProxyWindowClass)) {
        std::unique_ptr<platform::SharedEvent> dead = env.objects.OpenNamedEvent(kProxyDeadEvent);
        std::unique_ptr<platform::SharedEvent> queryExit = env.objects.OpenNamedEvent(kProxyQueryExitEvent);
        if (!dead || !queryExit)
            return RestartResult::NoEvents;
        queryExit->Signal();
        // Nobody listening means the proxy is on its way out already.
        (void)env.objects.SendControlMessage(kProxyWindowClass, platform::kCloseMessage);
        if (!dead->Wait(env.stopWaitMs) && env.objects.InstanceExists(kProxyWindowClass))
            return RestartResult::StillRunning;
        // The instance lock goes with the process, a moment after the event.
        for (int waited = 0; env.objects.InstanceExists(kProxyWindowClass); waited += kPollMs) {
            if (waited >= env.stopWaitMs)
                return RestartResult::StillRunning;
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        }
    }
    std::vector<std::string> args{"-tray"};
    if (noicon)
        args.emplace_back("-noicon");
    return env.launcher.SpawnDetached(env.programDirectory + kProxyProgram, args) ? RestartResult::Restarted
                                                                                  : RestartResult::StartFailed;
}

const char* RestartResultText(RestartResult result)
{
    switch (result) {
    case RestartResult::StillRunning:
        return texts::kProxyStillRunning;
    case RestartResult::StartFailed:
        return texts::kProxyStartFailed;
    default:
        return "";
    }
}
