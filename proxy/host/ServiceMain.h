#pragma once

#include <string>
#include <vector>

class ConfigrationFileSigleton;
class ProxyCommandLineInfo;

/// Writes the unit of "Filtering Service" and prints the outcome. Returns 0 on
/// success, 1 on failure.
int InstallService();
/// Stops (with progress dots) and deletes the unit. Returns 0 on success, 1 on failure.
int RemoveService();

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
