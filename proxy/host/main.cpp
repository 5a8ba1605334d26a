// zpf: the filtering proxy. Runs as a service (or in the foreground), in tray mode,
// or installs and removes its service.
#include <cstdio>

#include "engine/EngineLimits.h"
#include "engine/HTTPdaemonThread.h"
#include "host/ProxyApp.h"
#include "platform/ProcessControl.h"

int main(int argc, char** argv)
{
    // Before any thread starts, so every thread inherits the blocked stop signals.
    platform::BlockStopSignals();
    // Each session holds the client's connection and, later, the server's.
    platform::RaiseOpenFileLimit(2L * kMaxSessions + 256);
    int status = 0;
    {
        ProxyApp app;
        status = app.Run(argc, argv);
    }
    // Sessions still running after the listener's wait are ended with the process,
    // without running static destructors under their feet.
    if (activeSessionCount.load() > 0) {
        std::fflush(nullptr);
        platform::ExitProcessNow(status);
    }
    return status;
}
