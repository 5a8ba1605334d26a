// zpf: the filtering proxy. Runs as a service (or in the foreground), in tray mode,
// or installs and removes its service.
#include <cstdio>
#include <cstring>

#include "engine/EngineLimits.h"
#include "engine/HTTPdaemonThread.h"
#include "host/ProxyApp.h"
#include "platform/ProcessControl.h"

#ifndef ZPF_VERSION
#define ZPF_VERSION "0.0.0"
#endif

namespace {

constexpr const char* kUsage = "usage: zpf [WORD...]\n"
                               "Runs the filtering proxy. Without a mode word it runs as the service, or in the\n"
                               "foreground when no service manager started it (stop it with Ctrl-C).\n"
                               "Words (case does not matter; a leading - or / is allowed):\n"
                               "  tray      run with a tray icon in a desktop session\n"
                               "  install   install the service, then end\n"
                               "  remove    stop and remove the service, then end\n"
                               "  debug     also write status lines to the log and zpfSrvcLog.txt\n"
                               "  keep      service: no message when the port is taken (the keeper restarts it)\n"
                               "  noicon    tray mode without the icon\n"
                               "  phrase    block log entries hold the whole matched phrase\n"
                               "  --help    print this text;  --version  print the version\n";

} // namespace

int main(int argc, char** argv)
{
    // Asked before anything starts: neither starts the proxy.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zpf %s\n", ZPF_VERSION);
            return 0;
        }
    }
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
