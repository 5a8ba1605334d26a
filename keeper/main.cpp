// zpfkeeper: keeps the proxy running, restarts it daily and runs the scheduled filter
// updates. The tray proxy starts it with "-tray"; in service mode systemd runs it with
// the arguments the proxy's service hands over.
#include <chrono>
#include <cstdio>
#include <thread>

#include "common/BaseDirectory.h"
#include "config/ConfigrationFile.h"
#include "host/HostNames.h"
#include "keeper/Keeper.h"
#include "platform/NamedEvent.h"
#include "platform/ProcessControl.h"
#include "proxysettings/ProxySettings.h"
#include "update/FilterUpdate.h"

namespace {
void logLine(const std::string& line)
{
    StatusLog("zpfkeeper: %s\n", line.c_str());
    platform::WriteSystemLogNotice(kKeeperServiceName, line);
}
} // namespace

int main(int argc, char** argv)
{
    // Before any thread starts, so SIGTERM and SIGINT end the wait between checks.
    platform::BlockStopSignals();
    std::vector<std::string> errors;
    KeeperOptions options = ParseKeeperArguments(std::vector<std::string>(argv + 1, argv + argc), &errors);
    // The tray proxy passes only "-tray": the rest is in the configuration.
    if (options.tray && options.checkDuration < 0) {
        ConfigrationFileSigleton* config = ConfigrationFileSigleton::getInstance();
        if (config->Initialize() != 0)
            errors.emplace_back("the configuration could not be read");
        else
            ApplyConfiguration(options, *config, &errors);
    }
    for (const std::string& e : errors) {
        std::fprintf(stderr, "zpfkeeper: %s\n", e.c_str());
        logLine(e);
    }
    if (!options.needed()) {
        logLine("nothing to do (no check interval, restart or update); the keeper ends");
        return 0;
    }

    const std::string dir = baseDirectory();
    const std::string run = platform::RuntimeDirectory(dir);
    platform::RuntimeNamedObjects objects(run);
    platform::PosixProgramLauncher launcher;
    platform::SystemdServiceController services;
    KeeperServices s;
    s.objects = &objects;
    s.launcher = &launcher;
    s.services = &services;
    s.update = [] { return FilterUpdate(false, nullptr, false, true); };
    s.lastUpdate = [] { return GetLastUpdate(); };
    s.pointBrowsers = [](int port) { return SetProxySetting("127.0.0.1", port); };
    s.log = logLine;
    s.sleep = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    s.statePath = run + kKeeperStateFile;

    Keeper keeper(options, s, dir);
    if (!keeper.Start()) {
        std::fprintf(stderr, "zpfkeeper: a keeper already runs for %s\n", dir.c_str());
        return 1;
    }
    return keeper.Run([](int ms) { return platform::WaitStopSignal(ms) != 0; });
}
