#pragma once

#include <string>
#include <vector>

class ConfigrationFileSigleton;
class ProxyCommandLineInfo;
namespace platform {
struct ServiceManager;
}

/// Writes the unit of "Filtering Service" and prints the outcome. Returns 0 on
/// success, 1 on failure.
int InstallService();
/// Stops (with progress dots) and deletes the unit. Returns 0 on success, 1 on failure.
int RemoveService();
/// The unit of "Filtering Keeper" beside the proxy's, when the keeper program is in the
/// program directory; 0 on success (or without a keeper), 1 after printing the error.
int InstallKeeperService(const platform::ServiceManager& manager);
/// Stops and deletes the keeper's unit when there is one; 0 on success, 1 on failure.
int RemoveKeeperService(const platform::ServiceManager& manager);

/// Service mode: runs the service on its own thread while this (the dispatcher's)
/// thread turns SIGTERM and SIGINT into stop requests. Returns the process's exit
/// status: 0 after a normal stop, 1 when filtering could not start.
int RunServiceDispatcher(int argc, const char* const* argv, ProxyCommandLineInfo& commandLine);

/// The keeper service's arguments for the configuration, each at most 63 characters.
std::vector<std::string> KeeperArguments(const ConfigrationFileSigleton& config);

/// Shows a start-up error where a desktop message box would be: standard error and
/// the system log.
void ShowStartError(const char* text);

/// Writes the error entry "Filtering Service error: <last error>" with the text to the
/// system log and saves the last error for the final stopped report.
void AddToMessageLog(const char* text);
