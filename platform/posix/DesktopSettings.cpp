// The desktop's settings program and the user's configuration directory.
#include "platform/DesktopSettings.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "platform/ProcessControl.h"

namespace platform {

namespace {
std::string findGsettings()
{
    const char* path = std::getenv("PATH");
    std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!dirs.empty()) {
        size_t colon = dirs.find(':');
        std::string_view dir = dirs.substr(0, colon);
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
        if (dir.empty())
            continue;
        std::string candidate = std::string(dir) + "/gsettings";
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}
} // namespace

bool GsettingsInstalled() { return !findGsettings().empty(); }

int RunGsettings(const std::vector<std::string>& args, std::string* output, bool schemaDefaults, int timeoutMs)
{
    std::string program = findGsettings();
    if (program.empty())
        return -1;
    std::vector<std::string> argv;
    if (schemaDefaults) {
        // env(1) keeps the rest of our environment and sets only the backend.
        argv = {"env", "GSETTINGS_BACKEND=memory"};
    }
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, output, timeoutMs);
}

std::string UserConfigDirectory()
{
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        return xdg;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config";
    struct passwd pw;
    struct passwd* found = nullptr;
    char buf[16384];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir && *found->pw_dir)
        return std::string(found->pw_dir) + "/.config";
    return {};
}

bool MakeDirectories(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path p(path);
    if (std::filesystem::is_directory(p, ec))
        return true;
    // Create part by part so only the parts made here get the owner-only mode.
    std::filesystem::path built;
    for (const auto& part : p) {
        built /= part;
        if (std::filesystem::is_directory(built, ec))
            continue;
        if (!std::filesystem::create_directory(built, ec) && !std::filesystem::is_directory(built, ec))
            return false;
        std::filesystem::permissions(built, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace,
                                     ec);
    }
    return std::filesystem::is_directory(p, ec);
}

} // namespace platform
