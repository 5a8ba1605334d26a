#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "keeper/DailySchedule.h"
#include "keeper/KeeperOptions.h"
#include "platform/NamedObjects.h"
#include "platform/ProcessControl.h"
#include "platform/ServiceControl.h"

/// What the keeper acts through; the real program fills it with the OS and the library,
/// tests with fakes.
struct KeeperServices {
    platform::NamedObjects* objects = nullptr;
    platform::ProgramLauncher* launcher = nullptr;
    platform::ServiceController* services = nullptr;
    /// The quiet filter update; its result code (0 on success).
    std::function<int()> update;
    /// Local midnight of the last update's day; 0 when there was none.
    std::function<std::time_t()> lastUpdate;
    /// Points the browsers at the proxy's port; 0 on success.
    std::function<int(int port)> pointBrowsers;
    /// One line of what the keeper does (status log and system log).
    std::function<void(const std::string& line)> log;
    /// Pauses while the keeper waits for the proxy to go.
    std::function<void(int ms)> sleep;
    /// Where the keeper's state is written for `zpfctl keeper status`; empty: nowhere.
    std::string statePath;
};

/// The keeper: watches the tray proxy and starts it again when it is gone, restarts the
/// proxy once a day, updates the filter on schedule, and ends once the proxy says it
/// stopped on purpose. All its work happens in Check, on one thread.
class Keeper {
public:
    Keeper(KeeperOptions options, KeeperServices services, std::string programDirectory);
    ~Keeper();

    /// Takes the keeper's instance and creates the stop event. False when another keeper
    /// of the program directory runs (or the objects cannot be made).
    [[nodiscard]] bool Start();
    /// One pass: the stop event, the proxy, the daily restart and update. False once the
    /// keeper should end.
    bool Check();
    /// Checks until told to end: every check interval, or every minute when the proxy is
    /// not watched. Returns the exit status.
    int Run(const std::function<bool(int ms)>& waitForStopSignal);

    const DailySchedule& restartSchedule() const { return m_reboot; }
    const DailySchedule& updateSchedule() const { return m_update; }
    /// When the keeper last started the proxy (restart or recovery); 0 when never.
    std::time_t lastRestart() const { return m_lastRestart; }

private:
    void watchTrayProxy(std::time_t now);
    void startTrayProxy(std::time_t now);
    bool restartProxy(const char* why);
    bool restartTrayProxy();
    bool restartServiceProxy();
    void runUpdate(const char* why);
    void writeState(std::time_t now) const;

    KeeperOptions m_options;
    KeeperServices m_services;
    std::string m_programDirectory;
    std::unique_ptr<platform::InstanceOwnership> m_instance;
    std::unique_ptr<platform::SharedEvent> m_stop;
    DailySchedule m_reboot;
    DailySchedule m_update;
    bool m_bootUpdateDone = false;
    std::time_t m_lastRestart = 0;
    std::time_t m_lastStart = 0; // the last start of a tray proxy by this keeper
    int m_quickDeaths = 0; // tray proxies in a row that died soon after their start
    bool m_deathNoted = false; // the end of the last start is counted
    std::time_t m_notBefore = 0; // no start before this while backing off
};

/// How long after its start a proxy that is gone counts as dying at once.
inline constexpr int kQuickDeathSeconds = 60;
/// How long the keeper waits for a proxy to end when it restarts it.
inline constexpr int kProxyEndWaitMs = 90000;
/// The filter is updated on schedule when the last update is this old.
inline constexpr int kUpdateAgeDays = 7;

/// The keeper's state file in the runtime folder: "key=value" lines.
inline constexpr const char* kKeeperStateFile = "zpfkeeper.state";
/// A time of the state file as local "YYYY/MM/DD HH:MM"; "none" for 0.
std::string KeeperTimeText(std::time_t t);
