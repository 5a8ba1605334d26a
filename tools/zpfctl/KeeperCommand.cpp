// zpfctl keeper status: whether a keeper runs for the program directory, its settings,
// the last restart and the last and next update.
#include <cstdio>
#include <string>

#include "common/BaseDirectory.h"
#include "host/HostNames.h"
#include "keeper/Keeper.h"
#include "platform/InstanceLock.h"
#include "platform/NamedEvent.h"
#include "platform/TextFile.h"
#include "update/FilterUpdate.h"
#include "zpfctl/Command.h"

namespace {
constexpr size_t kMaxStateLine = 256;
constexpr int kMaxStateLines = 32;

int runKeeper(const zpfctl::Args& args)
{
    if (args.size() != 1 || args[0] != "status")
        return zpfctl::UsageError("keeper takes status");
    const std::string run = platform::RuntimeDirectory(baseDirectory());
    const bool running = platform::InstanceExists(run, kKeeperWindowClass);
    std::printf("keeper: %s\n", running ? "running" : "not running");
    const std::time_t last = GetLastUpdate();
    std::printf("last update: %s\n", last ? KeeperTimeText(last).substr(0, 10).c_str() : "never");
    // What the keeper wrote at its last check; from an ended keeper only for the record.
    platform::TextFile state;
    if (!state.Open(run + kKeeperStateFile, "r"))
        return zpfctl::kOk;
    if (!running)
        std::printf("last known state of the keeper:\n");
    std::string line;
    for (int i = 0; i < kMaxStateLines && state.ReadLine(line, kMaxStateLine); ++i) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos)
            std::printf("%s: %s\n", line.substr(0, eq).c_str(), line.substr(eq + 1).c_str());
    }
    return zpfctl::kOk;
}
} // namespace

ZPFCTL_COMMAND("keeper", "keeper status", runKeeper);
