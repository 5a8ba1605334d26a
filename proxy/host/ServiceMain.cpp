// Service mode on Linux: install and remove of the systemd unit, the service entry
// with its state reports, the stop request (SIGTERM or SIGINT), the keeper service,
// and the service body that brings filtering up and down.
#include "host/ServiceMain.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "common/BaseDirectory.h"
#include "config/ConfigrationFile.h"
#include "engine/BlockLog.h"
#include "host/DaemonControl.h"
#include "host/HostNames.h"
#include "host/ProxyCommandLineInfo.h"
#include "log/AccessLogger.h"
#include "log/DiagnosticLog.h"
#include "platform/Event.h"
#include "platform/NamedEvent.h"
#include "platform/ProcessControl.h"
#include "platform/ServiceControl.h"
#include "platform/TextFile.h"

namespace {
enum class ServiceStatus { StartPending, Running, StopPending, Stopped };

constexpr int kStartWaitHintMs = 3000;
// "Stopping" dots are printed for at most this many seconds.
constexpr int kMaxStopSeconds = 120;
constexpr size_t kMaxKeeperArgument = 63;

/// State shared by the dispatcher's thread and the service thread.
struct ServiceRun {
    std::mutex lock;
    platform::NamedEvent stopEvent; // "__zpfServiceStop", open while the body waits
    bool stopRequested = false; // a stop that came before the event existed
    ServiceStatus current = ServiceStatus::StartPending;
    int checkPoint = 1;
    std::atomic<int> savedError{0};
    int argc = 0;
    const char* const* argv = nullptr;
    ProxyCommandLineInfo* commandLine = nullptr;
    bool startFailed = false;
    platform::Event ended{true};
};

ServiceRun* g_run = nullptr;
std::atomic<int> g_lastEventLogError{0};

void print(const char* format, const std::string& a)
{
    std::printf(format, a.c_str());
    std::fflush(stdout);
}

/// Fills the status record and tells systemd. Returns false when the report failed.
bool reportStatus(ServiceStatus state, int exitCode, int waitHintMs)
{
    ServiceRun& run = *g_run;
    std::string text;
    {
        std::lock_guard<std::mutex> guard(run.lock);
        run.current = state;
        int checkPoint = 0;
        if (state != ServiceStatus::Running && state != ServiceStatus::Stopped)
            checkPoint = run.checkPoint++;
        switch (state) {
        case ServiceStatus::StartPending:
            text = "STATUS=Start pending (" + std::to_string(checkPoint) + ")";
            break;
        case ServiceStatus::Running:
            text = "READY=1\nSTATUS=Running";
            break;
        case ServiceStatus::StopPending:
            text = "STOPPING=1\nSTATUS=Stop pending (" + std::to_string(checkPoint) + ")";
            break;
        case ServiceStatus::Stopped:
            text = "STATUS=Stopped";
            if (exitCode != 0)
                text += "\nERRNO=" + std::to_string(exitCode);
            break;
        }
        if (waitHintMs > 0)
            text += "\nEXTEND_TIMEOUT_USEC=" + std::to_string(static_cast<long long>(waitHintMs) * 1000);
    }
    if (!platform::NotifyServiceManager(text)) {
        AddToMessageLog("SetServiceStatus");
        return false;
    }
    return true;
}

/// The control handler: a stop request reports stop pending and signals the stop
/// event; it runs on the dispatcher's thread.
void controlStop()
{
    reportStatus(ServiceStatus::StopPending, 0, 0);
    std::lock_guard<std::mutex> guard(g_run->lock);
    g_run->stopRequested = true;
    if (g_run->stopEvent.IsOpen())
        g_run->stopEvent.Signal();
}

void startKeeperService(const ConfigrationFileSigleton& config)
{
    platform::ServiceManager manager;
    if (platform::OpenServiceManager(manager) != 0)
        return;
    (void)platform::StartServiceUnit(manager, kKeeperServiceName,
                                     KeeperArguments(config)); // the proxy runs without it too
}

void serviceBody(ServiceRun& run)
{
    ScanServiceArguments(run.argc, run.argv, *run.commandLine);
    SetDebugFlag(run.commandLine->debug != 0);
    SetPhraseFlag(run.commandLine->phrase != 0);
    DaemonControl& daemon = DaemonControl::getInstance();

    if (!daemon.InitializeFiltering()) {
        ShowStartError(daemon.ErrorText());
        run.startFailed = true;
    } else {
        bool ok = reportStatus(ServiceStatus::StartPending, 0, kStartWaitHintMs);
        if (ok) {
            std::lock_guard<std::mutex> guard(run.lock);
            ok = run.stopEvent.Create(HostRuntimeDirectory(), kEventServiceStop, true, false);
            if (ok && run.stopRequested)
                run.stopEvent.Signal();
        }
        ok = ok && reportStatus(ServiceStatus::StartPending, 0, kStartWaitHintMs);
        ok = ok && reportStatus(ServiceStatus::Running, 0, 0);
        if (!ok) {
            run.startFailed = true;
        } else {
            ConfigrationFileSigleton* config = ConfigrationFileSigleton::getInstance();
            if (config->bZpfKeep())
                startKeeperService(*config);
            if (daemon.StartDaemon()) {
                WriteStatusLog("Filtering Start\n");
                run.stopEvent.Wait(-1);
            } else {
                run.startFailed = true;
                if (!(run.commandLine->keep && daemon.errorCode == StartError::PortBind))
                    ShowStartError(daemon.ErrorText());
            }
        }
    }
    daemon.StopDaemon();
    daemon.ReleaseDaemon();
    std::lock_guard<std::mutex> guard(run.lock);
    run.stopEvent.Close();
}

/// The service entry, on the service thread.
void serviceMain(void* arg)
{
    ServiceRun& run = *static_cast<ServiceRun*>(arg);
    if (reportStatus(ServiceStatus::StartPending, 0, kStartWaitHintMs))
        serviceBody(run);
    reportStatus(ServiceStatus::Stopped, g_lastEventLogError.load(), 0);
    run.ended.Set();
}
} // namespace

void ShowStartError(const char* text)
{
    std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
    platform::WriteEventLog(kServiceName, "zpf", text);
}

void AddToMessageLog(const char* text)
{
    const int error = errno;
    g_lastEventLogError = error;
    char first[128];
    std::snprintf(first, sizeof first, "%s error: %d", kServiceName, error);
    platform::WriteEventLog(kServiceName, first, text);
}

std::vector<std::string> KeeperArguments(const ConfigrationFileSigleton& config)
{
    std::vector<std::string> args;
    char buf[64];
    auto add = [&](int n) {
        if (n > 0)
            args.emplace_back(buf, std::min(static_cast<size_t>(n), kMaxKeeperArgument));
    };
    add(std::snprintf(buf, sizeof buf, "-d%d", config.CheckDuration));
    if (!config.RebootAt.empty())
        add(std::snprintf(buf, sizeof buf, "-t%d:%02d", config.rebootAtHour(), config.rebootAtMin()));
    if (!config.AutoUpdateAt.empty())
        add(std::snprintf(buf, sizeof buf, "-u%d:%02d", config.AutoUpdateAtHour(), config.AutoUpdateAtMin()));
    if (config.SetProxy != 0)
        add(std::snprintf(buf, sizeof buf, "-u%u", config.Port));
    if (config.AutoUpdateAtBoot != 0)
        args.emplace_back("-a");
    return args;
}

int InstallService()
{
    int error = 0;
    const std::string path = platform::ExecutablePath(&error);
    if (path.empty()) {
        std::printf("Unable to install %s - %s\n", kServiceName, platform::ServiceErrorText(error).c_str());
        return 1;
    }
    platform::ServiceManager manager;
    if ((error = platform::OpenServiceManager(manager)) != 0) {
        print("OpenSCManager failed - %s\n", platform::ServiceErrorText(error));
        return 1;
    }
    if ((error = platform::CreateServiceUnit(manager, kServiceName, path)) != 0) {
        print("CreateService failed - %s\n", platform::ServiceErrorText(error));
        return 1;
    }
    print("%s installed.\n", kServiceName);
    return InstallKeeperService(manager);
}

int InstallKeeperService(const platform::ServiceManager& manager)
{
    // The keeper runs as a plain service with the arguments the proxy hands it.
    const std::string keeper = baseDirectory() + kKeeperProgram;
    if (!platform::PathExists(keeper))
        return 0;
    platform::ServiceUnitOptions options;
    options.notify = false;
    options.argumentsFromFile = true;
    if (const int error = platform::CreateServiceUnit(manager, kKeeperServiceName, keeper, options); error != 0) {
        print("CreateService failed - %s\n", platform::ServiceErrorText(error));
        return 1;
    }
    print("%s installed.\n", kKeeperServiceName);
    return 0;
}

int RemoveKeeperService(const platform::ServiceManager& manager)
{
    if (platform::OpenServiceUnit(manager, kKeeperServiceName) != 0)
        return 0;
    // It ends by itself once the proxy has stopped; this only makes sure.
    (void)platform::StopServiceUnit(manager, kKeeperServiceName);
    if (const int error = platform::DeleteServiceUnit(manager, kKeeperServiceName); error != 0) {
        print("DeleteService failed - %s\n", platform::ServiceErrorText(error));
        return 1;
    }
    print("%s removed.\n", kKeeperServiceName);
    return 0;
}

int RemoveService()
{
    platform::ServiceManager manager;
    int error = platform::OpenServiceManager(manager);
    if (error != 0) {
        print("OpenSCManager failed - %s\n", platform::ServiceErrorText(error));
        return 1;
    }
    if ((error = platform::OpenServiceUnit(manager, kServiceName)) != 0) {
        print("OpenService failed - %s\n", platform::ServiceErrorText(error));
        return 1;
    }
    if (platform::StopServiceUnit(manager, kServiceName) == 0) {
        print("Stopping %s.", kServiceName);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        platform::ServiceState state = platform::QueryServiceState(manager, kServiceName);
        for (int i = 0; state == platform::ServiceState::StopPending && i < kMaxStopSeconds; ++i) {
            print("%s", ".");
            std::this_thread::sleep_for(std::chrono::seconds(1));
            state = platform::QueryServiceState(manager, kServiceName);
        }
        print(state == platform::ServiceState::Stopped ? "\n%s stopped.\n" : "\n%s failed to stop.\n", kServiceName);
    }
    if ((error = platform::DeleteServiceUnit(manager, kServiceName)) != 0) {
        print("DeleteService failed - %s\n", platform::ServiceErrorText(error));
        return 1;
    }
    print("%s removed.\n", kServiceName);
    return RemoveKeeperService(manager);
}

int RunServiceDispatcher(int argc, const char* const* argv, ProxyCommandLineInfo& commandLine)
{
    // Lives to process end: the service thread may still be returning from its last
    // step when this thread goes on.
    static ServiceRun run;
    run.argc = argc;
    run.argv = argv;
    run.commandLine = &commandLine;
    g_run = &run;
    // Run by hand, the status lines go to the terminal; under systemd nobody reads them.
    if (!platform::UnderServiceManager()) {
        AccessLogger::getInstance().SetStatusSink([](std::string_view line) {
            std::fwrite(line.data(), 1, line.size(), stdout);
            if (line.empty() || line.back() != '\n')
                std::fputc('\n', stdout);
            std::fflush(stdout);
        });
    }
    if (!platform::StartDetachedThread(serviceMain, &run)) {
        AddToMessageLog("StartServiceCtrlDispatcher failed.");
        g_run = nullptr;
        return 1;
    }
    // Sleeps until a stop signal comes or the service ends.
    while (!run.ended.Wait(0)) {
        if (platform::WaitStopSignalOr(run.ended, -1) != 0)
            controlStop();
    }
    AccessLogger::getInstance().SetStatusSink({});
    return run.startFailed ? 1 : 0;
}
