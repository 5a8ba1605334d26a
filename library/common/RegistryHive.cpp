// Where the library finds its registry hives.
#include "common/RegistryHive.h"

#include <mutex>

#include "common/BaseDirectory.h"

namespace {
std::mutex& hiveLock()
{
    static std::mutex m;
    return m;
}
std::string& hiveOverride(platform::Hive hive)
{
    static std::string machine;
    static std::string user;
    return hive == platform::Hive::LocalMachine ? machine : user;
}
} // namespace

std::string HivePath(platform::Hive hive)
{
    {
        std::lock_guard<std::mutex> guard(hiveLock());
        const std::string& set = hiveOverride(hive);
        if (!set.empty())
            return set;
    }
    return platform::DefaultHivePath(hive, baseDirectory());
}

void SetHivePath(platform::Hive hive, const std::string& path)
{
    std::lock_guard<std::mutex> guard(hiveLock());
    hiveOverride(hive) = path;
}
