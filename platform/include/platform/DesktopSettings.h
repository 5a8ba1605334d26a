#pragma once

#include <string>
#include <vector>

/// The user's desktop settings: the settings database through the `gsettings` program
/// and the user's configuration directory. Both follow the caller's environment
/// (GSETTINGS_BACKEND, XDG_CONFIG_HOME, HOME), so tests point them at files of their own.
namespace platform {

/// Whether `gsettings` is installed (found on PATH).
bool GsettingsInstalled();

/// Runs `gsettings` with the arguments, waiting at most timeoutMs, and collects its
/// standard output. With schemaDefaults it runs on an empty in-memory backend, so it
/// reads the schemas' defaults and can change nothing. Returns the exit status, -1 when
/// it is not installed, could not run or timed out.
[[nodiscard]] int RunGsettings(const std::vector<std::string>& args, std::string* output, bool schemaDefaults,
                               int timeoutMs = 5000);

/// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config; empty when no home
/// directory is known.
std::string UserConfigDirectory();

/// Creates the directory and its missing parents (new ones owner-only). False on failure.
[[nodiscard]] bool MakeDirectories(const std::string& path);

} // namespace platform
