#pragma once

#include <string>

#include "platform/NamedObjects.h"
#include "platform/ProcessControl.h"
#include "platform/ServiceControl.h"

/// What restarting the proxy needs of the system.
struct ProxyRestartEnv {
    platform::ServiceController& services;
    platform::NamedObjects& objects;
    platform::ProgramLauncher& launcher;
    /// Where the zpf program is, ending with "/".
    std::string programDirectory;
    /// How long to wait for a stopping proxy before giving up.
    int stopWaitMs = 30000;
};

enum class RestartResult {
    /// The service was restarted, or the tray proxy was started.
    Restarted,
    /// The service is not installed and desk was off: nothing to restart there.
    NoService,
    /// A running tray proxy has not got its events: it was left alone.
    NoEvents,
    /// The old proxy did not end in time; no second one was started.
    StillRunning,
    /// The service or the program could not be started.
    StartFailed,
};

inline constexpr const char* kProxyServiceName = "Filtering Service";
inline constexpr const char* kProxyWindowClass = "zpfWndClass";
inline constexpr const char* kProxyDeadEvent = "__zpfDead";
inline constexpr const char* kProxyQueryExitEvent = "__zpfQueryExit";
inline constexpr const char* kProxyProgram = "zpf";

/// Restarts the proxy so it reads the saved settings: as the service when it is
/// installed and desk is off, else as a tray process (with "-noicon" when noicon).
RestartResult RestartProxy(ProxyRestartEnv& env, bool desk, bool noicon);
RestartResult RestartFilteringService(ProxyRestartEnv& env);
RestartResult RestartTrayProxy(ProxyRestartEnv& env, bool noicon);
/// The message for a result; "" when there is nothing to tell.
const char* RestartResultText(RestartResult result);
