// The keeper's checks: recovery of the tray proxy with back-off, the daily restart and
// update, and the stop event through which the proxy says it ended on purpose.
#include "keeper/Keeper.h"

#include <algorithm>
#include <cstdio>

#include "common/Clock.h"
#include "host/HostNames.h"
#include "platform/FileSystem.h"
#include "platform/TextFile.h"

namespace {
constexpr int kServiceStopPolls = 120;
constexpr int kInstanceGonePolls = 50;
constexpr int kSchedulesOnlyIntervalSeconds = 60;
} // namespace

std::string KeeperTimeText(std::time_t t)
{
    std::tm tm{};
    if (t == 0 || !zpfclock::LocalTime(t, &tm))
        return "none";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                  tm.tm_min);
    return buf;
}

Keeper::Keeper(KeeperOptions options, KeeperServices services, std::string programDirectory)
    : m_options(std::move(options))
    , m_services(std::move(services))
    , m_programDirectory(std::move(programDirectory))
{
    const std::time_t now = zpfclock::Now();
    if (m_options.hasReboot())
        m_reboot.Set(m_options.rebootHour, m_options.rebootMinute, now);
    if (m_options.hasUpdate())
        m_update.Set(m_options.updateHour, m_options.updateMinute, now);
}

Keeper::~Keeper() = default;

bool Keeper::Start()
{
    m_instance = m_services.objects->AcquireInstance(kKeeperWindowClass);
    if (!m_instance)
        return false;
    // Manual reset: the proxy's "stopped on purpose" stays visible until the keeper
    // clears it itself after a restart of its own.
    m_stop = m_services.objects->CreateNamedEvent(kEventKeeperStop, true, false);
    if (!m_stop) {
        m_instance.reset();
        return false;
    }
    m_services.log("keeper started (" + m_options.describe() + ")");
    if (m_options.browserPort > 0) {
        const int rc = m_services.pointBrowsers(m_options.browserPort);
        m_services.log(rc == 0 ? "browsers pointed at port " + std::to_string(m_options.browserPort)
                               : "the browsers' proxy settings could not all be written");
    }
    return true;
}

bool Keeper::Check()
{
    const std::time_t now = zpfclock::Now();
    if (m_stop->Test()) {
        m_services.log("the proxy stopped on purpose; the keeper ends");
        writeState(now);
        return false;
    }
    if (m_options.updateAtBoot && !m_bootUpdateDone) {
        m_bootUpdateDone = true;
        runUpdate("at start");
    }
    if (m_options.tray && m_options.interval() > 0)
        watchTrayProxy(now);
    if (m_reboot.Due(now))
        restartProxy("daily restart");
    if (m_update.Due(now)) {
        const std::time_t last = m_services.lastUpdate();
        if (last == 0 || now - last >= static_cast<std::time_t>(kUpdateAgeDays) * 24 * 3600)
            runUpdate("daily update");
        else
            m_services.log("daily update: the filter was updated " + KeeperTimeText(last).substr(0, 10) +
                           ", less than 7 days ago");
    }
    writeState(zpfclock::Now());
    return true;
}

void Keeper::watchTrayProxy(std::time_t now)
{
    if (m_services.objects->InstanceExists(kProxyWindowClass)) {
        // Up for a while: whatever ended it before, it starts fine.
        if (m_lastStart != 0 && now - m_lastStart >= kQuickDeathSeconds)
            m_quickDeaths = 0;
        return;
    }
    if (!m_deathNoted && m_lastStart != 0 && now >= m_lastStart && now - m_lastStart < kQuickDeathSeconds) {
        m_deathNoted = true;
        ++m_quickDeaths;
        // A doubling pause, at most five minutes: a proxy that cannot run is not
        // started over and over.
        const int shift = std::min(m_quickDeaths, 8);
        const int pause = std::min(kMaxCheckDuration, m_options.interval() << shift);
        m_notBefore = now + pause;
        m_services.log("zpf ended within a minute of its start (" + std::to_string(m_quickDeaths) +
                       " in a row); next start in " + std::to_string(pause) + " seconds");
    }
    if (now < m_notBefore)
        return;
    m_services.log("zpf is not running; starting it");
    startTrayProxy(now);
}

void Keeper::startTrayProxy(std::time_t now)
{
    std::vector<std::string> args{"-tray"};
    if (m_options.noicon)
        args.emplace_back("-noicon");
    if (!m_services.launcher->SpawnDetached(m_programDirectory + kProxyProgram, args))
        m_services.log("zpf could not be started");
    m_lastStart = now;
    m_lastRestart = now;
    m_deathNoted = false;
}

bool Keeper::restartProxy(const char* why)
{
    m_services.log(std::string(why) + ": restarting the proxy");
    const bool ok = m_options.tray ? restartTrayProxy() : restartServiceProxy();
    if (ok)
        m_lastRestart = zpfclock::Now();
    if (ok && m_options.browserPort > 0)
        (void)m_services.pointBrowsers(m_options.browserPort);
    return ok;
}

bool Keeper::restartTrayProxy()
{
    platform::NamedObjects& objects = *m_services.objects;
    if (objects.InstanceExists(kProxyWindowClass)) {
        // Held open before asking, so the signal of its end cannot be missed.
        std::unique_ptr<platform::SharedEvent> dead = objects.OpenNamedEvent(kEventDead);
        std::unique_ptr<platform::SharedEvent> queryExit = objects.OpenNamedEvent(kEventQueryExit);
        if (!dead || !queryExit || !queryExit->Signal() ||
            !objects.SendControlMessage(kProxyWindowClass, platform::kCloseMessage)) {
            m_services.log("the proxy could not be asked to end");
            return false;
        }
        if (!dead->Wait(kProxyEndWaitMs)) {
            m_services.log("the proxy did not end within 90 seconds");
            return false;
        }
        // Its instance goes with the process, a moment after the signal.
        for (int i = 0; i < kInstanceGonePolls && objects.InstanceExists(kProxyWindowClass); ++i)
            m_services.sleep(100);
    }
    // The proxy signalled "stopped on purpose" on its way out; that was this restart.
    m_stop->Reset();
    startTrayProxy(zpfclock::Now());
    return true;
}

bool Keeper::restartServiceProxy()
{
    platform::ServiceController& services = *m_services.services;
    if (services.Query(kServiceName) != platform::ServiceState::Stopped) {
        if (const int rc = services.Stop(kServiceName); rc != 0) {
            m_services.log("the proxy service could not be stopped: " + platform::ServiceErrorText(rc));
            return false;
        }
        int polls = 0;
        for (; polls < kServiceStopPolls && services.Query(kServiceName) != platform::ServiceState::Stopped; ++polls)
            m_services.sleep(1000);
        if (polls == kServiceStopPolls) {
            m_services.log("the proxy service did not stop");
            return false;
        }
    }
    m_stop->Reset();
    if (const int rc = services.Start(kServiceName, {}); rc != 0) {
        m_services.log("the proxy service could not be started: " + platform::ServiceErrorText(rc));
        return false;
    }
    return true;
}

void Keeper::runUpdate(const char* why)
{
    m_services.log(std::string(why) + ": updating the filter");
    const int rc = m_services.update();
    if (rc != 0) {
        m_services.log("filter update failed with code " + std::to_string(rc) + "; the proxy keeps its filter");
        return;
    }
    m_services.log("filter updated");
    // The proxy reads the filter only when it starts.
    restartProxy("after the update");
}

void Keeper::writeState(std::time_t now) const
{
    if (m_services.statePath.empty())
        return;
    std::string text;
    text += "mode=" + std::string(m_options.tray ? "tray" : "service") + "\n";
    text += "arguments=" + m_options.describe() + "\n";
    text += "checked=" + KeeperTimeText(now) + "\n";
    text += "last restart=" + KeeperTimeText(m_lastRestart) + "\n";
    text += "next restart=" + KeeperTimeText(m_reboot.Next()) + "\n";
    text += "next update=" + KeeperTimeText(m_update.Next()) + "\n";
    text += "restarts backing off=" + std::to_string(m_quickDeaths) + "\n";
    (void)platform::ReplaceFileAtomically(m_services.statePath, [&](const std::string& temp) {
        platform::TextFile file;
        return file.Open(temp, "wb") && file.WriteBytes(text.data(), text.size()) == text.size() && file.Close();
    });
}

int Keeper::Run(const std::function<bool(int ms)>& waitForStopSignal)
{
    const int seconds = m_options.interval() > 0 ? m_options.interval() : kSchedulesOnlyIntervalSeconds;
    while (Check()) {
        if (waitForStopSignal(seconds * 1000)) {
            m_services.log("keeper ended by a signal");
            break;
        }
    }
    return 0;
}
