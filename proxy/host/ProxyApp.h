#pragma once

#include "host/ProxyCommandLineInfo.h"
#include "platform/NamedEvent.h"

/// The process's application object: parses the command line and runs one mode.
/// It holds "__zpfDead" (signalled when the object goes at process end, in every
/// mode) and "__zpfQueryExit" (a close request finding it signalled ends the proxy).
class ProxyApp {
public:
    ProxyApp();
    ~ProxyApp();
    ProxyApp(const ProxyApp&) = delete;
    ProxyApp& operator=(const ProxyApp&) = delete;

    /// Parses the command line and runs the mode it selects. Returns the process's
    /// exit status.
    int Run(int argc, const char* const* argv);

    platform::NamedEvent eventDead;
    platform::NamedEvent eventQueryExit;
    bool alreadyRunning = false;
    ProxyCommandLineInfo commandLine;

private:
    int RunTray();
    friend class ProxyTrayHost;
    /// The exit step: stop and release filtering unless another instance runs.
    void ExitInstance();
};
