// The application object: mode dispatch and the tray-mode start and exit sequence.
// The tray window lives in a module (libzpftray.so) that only tray mode loads, so
// service mode and the foreground run never map the window toolkit.
#include "host/ProxyApp.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "common/BaseDirectory.h"
#include "common/Edition.h"
#include "common/Encoding.h"
#include "config/ConfigrationFile.h"
#include "engine/BlockLog.h"
#include "host/DaemonControl.h"
#include "host/HostNames.h"
#include "host/ServiceMain.h"
#include "host/tray/TrayHost.h"
#include "log/AccessLogger.h"
#include "log/DiagnosticLog.h"
#include "platform/InstanceLock.h"
#include "platform/Module.h"
#include "platform/ProcessControl.h"
#include "platform/TextFile.h"

#ifndef ZPF_PRODUCT_VERSION
#define ZPF_PRODUCT_VERSION "0, 0, 0, 0"
#endif

/// The proxy's side of the tray window: start and stop of filtering, the close
/// requests of other processes, the stop signals and the password.
class ProxyTrayHost final : public TrayHost {
public:
    explicit ProxyTrayHost(ProxyApp& app)
        : m_app(app)
    {
    }
    ~ProxyTrayHost() override { WindowClosing(); }

    bool NoIcon() const override { return m_app.commandLine.noicon != 0; }
    int Edition() const override { return GetEdition(); }
    std::string ProductVersion() const override { return ZPF_PRODUCT_VERSION; }
    tray::StatusQueue& StatusLines() override { return m_status; }

    bool WindowReady(std::function<void()> onCloseMessage, std::function<void()> onStopSignal) override
    {
        m_watching = true;
        m_signalWatch = std::thread([this, onStop = std::move(onStopSignal)] {
            while (m_watching.load()) {
                if (platform::WaitStopSignal(100) != 0 && onStop)
                    onStop();
            }
        });
        return m_channel.Start(HostRuntimeDirectory(), kProxyWindowClass,
                               [onClose = std::move(onCloseMessage)](const std::string& message) {
                                   if (message == platform::kCloseMessage && onClose)
                                       onClose();
                               });
    }

    void WindowClosing() override
    {
        m_channel.Stop();
        m_watching = false;
        if (m_signalWatch.joinable())
            m_signalWatch.join();
    }

    std::string StartFiltering() override
    {
        const std::string run = HostRuntimeDirectory();
        DaemonControl& daemon = DaemonControl::getInstance();
        if (!daemon.InitializeFiltering()) {
            m_status.Push("Initialize NG");
            ShowStartError(daemon.ErrorText());
            return daemon.ErrorText();
        }
        m_status.Push("Initialize OK");
        if (!daemon.StartDaemon()) {
            m_status.Push("Start NG");
            ShowStartError(daemon.ErrorText());
            return daemon.ErrorText();
        }
        m_status.Push("Start OK");
        if (!platform::InstanceExists(run, kKeeperWindowClass)) {
            const std::string keeper = baseDirectory() + kKeeperProgram;
            std::vector<std::string> args{"-tray"};
            if (m_app.commandLine.noicon)
                args.emplace_back("-noicon");
            if (platform::PathExists(keeper))
                (void)platform::SpawnDetached(keeper, args); // the proxy runs without its keeper too
        }
        return {};
    }

    bool TestQueryExit() override { return m_app.eventQueryExit.Test(); }

    bool ReadPassword(std::string& password) override
    {
        // The configuration is read by sessions without locks, but none of them reads
        // the password, the only member this touches.
        ConfigrationFileSigleton* config = ConfigrationFileSigleton::getInstance();
        if (config->ReadPassword())
            return false;
        password = config->adminPassword;
        return true;
    }

private:
    ProxyApp& m_app;
    tray::StatusQueue m_status;
    platform::ControlChannel m_channel;
    std::atomic<bool> m_watching{false};
    std::thread m_signalWatch;
};

ProxyApp::ProxyApp()
{
    const std::string run = HostRuntimeDirectory();
    // Without the events the proxy still serves; only the keeper and the configuration
    // application lose their signals, so a failure here is not fatal.
    (void)eventDead.Create(run, kEventDead, false, false);
    (void)eventQueryExit.Create(run, kEventQueryExit, false, false);
}

ProxyApp::~ProxyApp()
{
    eventDead.Signal();
    eventDead.Close();
    eventQueryExit.Close();
}

int ProxyApp::Run(int argc, const char* const* argv)
{
    commandLine.Parse(argc, argv);
    SetDebugFlag(commandLine.debug != 0);
    SetPhraseFlag(commandLine.phrase != 0);
    if (commandLine.tray)
        return RunTray();
    if (commandLine.install)
        return InstallService();
    if (!commandLine.remove)
        return RunServiceDispatcher(argc, argv, commandLine);
    return RemoveService();
}

namespace {
std::string environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}
} // namespace

int ProxyApp::RunTray()
{
    // Without a display the toolkit would abort; nothing has been touched yet, so the
    // keeper is not told anything either.
    if (tray::NoDisplay(environmentValue("QT_QPA_PLATFORM"), environmentValue("DISPLAY"),
                        environmentValue("WAYLAND_DISPLAY"))) {
        std::fprintf(stderr, "zpf tray: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                             "run it in a desktop session, or run zpf without \"tray\" as a service.\n");
        return 1;
    }

    const std::string run = HostRuntimeDirectory();
    platform::InstanceLock instance;
    if (platform::InstanceExists(run, kProxyWindowClass) || !instance.Acquire(run, kProxyWindowClass)) {
        alreadyRunning = true;
        ExitInstance();
        return 1;
    }

    platform::Module window;
    std::string why;
    auto trayMain = window.Load(baseDirectory() + kTrayModuleFile, &why)
                        ? reinterpret_cast<TrayMainFunction>(window.Symbol(kTrayMainSymbol))
                        : nullptr;
    if (!trayMain) {
        std::fprintf(stderr, "zpf tray: the window module cannot be used: %s\n",
                     why.empty() ? kTrayMainSymbol : why.c_str());
        return 1; // nothing started, so nothing to stop
    }

    int status = 1;
    {
        ProxyTrayHost host(*this);
        tray::StatusQueue& lines = host.StatusLines();
        // Lines from the data files may be Shift_JIS; the window shows UTF-8.
        AccessLogger::getInstance().SetStatusSink([&lines](std::string_view line) {
            lines.Push(tray::IsUtf8(line) ? std::string(line) : encoding::sjisToUtf8(line));
        });
        status = trayMain(&host);
        host.WindowClosing();
        ExitInstance();
        AccessLogger::getInstance().SetStatusSink({});
    }
    return status;
}

void ProxyApp::ExitInstance()
{
    if (alreadyRunning)
        return;
    DaemonControl& daemon = DaemonControl::getInstance();
    daemon.StopDaemon();
    daemon.ReleaseDaemon();
}
