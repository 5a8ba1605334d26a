#pragma once

#include <string>
#include <vector>

class ConfigrationFileSigleton;

/// What the keeper is asked to do, from its command line and, in tray mode, the
/// configuration.
struct KeeperOptions {
    /// Seconds between two checks of the proxy, 0 (not watched) to 300; -1 until given.
    int checkDuration = -1;
    /// Daily restart and daily update times; an hour of -1 means none.
    int rebootHour = -1;
    int rebootMinute = 0;
    int updateHour = -1;
    int updateMinute = 0;
    /// The proxy's port the browsers are pointed at; 0 for none.
    int browserPort = 0;
    bool updateAtBoot = false;
    bool tray = false;
    bool noicon = false;

    bool hasReboot() const { return rebootHour >= 0; }
    bool hasUpdate() const { return updateHour >= 0; }
    int interval() const { return checkDuration > 0 ? checkDuration : 0; }
    /// False when there is nothing for the keeper to do.
    bool needed() const;
    /// The options as command-line arguments ("-d1 -t2:05 -u3:00 -u8080 -a -tray").
    std::string describe() const;
};

/// The longest check interval.
inline constexpr int kMaxCheckDuration = 300;

/// Reads "-dN", "-th:mm", "-uh:mm", "-uPORT", "-a", "-tray" and "-noicon" (a "/" may
/// stand for the "-"). A bad or unknown argument is left out and described in *errors,
/// one line each; the rest still count.
KeeperOptions ParseKeeperArguments(const std::vector<std::string>& args, std::vector<std::string>* errors);

/// Fills in what the command line did not give from the configuration: the tray proxy
/// starts its keeper with "-tray" only. Bad values are left out and described in *errors.
void ApplyConfiguration(KeeperOptions& options, const ConfigrationFileSigleton& config,
                        std::vector<std::string>* errors);
