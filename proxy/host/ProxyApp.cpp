// The application object: mode dispatch and the tray-mode start and exit sequence.
// Until the tray window exists, tray mode shows its status lines on standard output
// and serves close requests over the control channel of its window class.
#include "host/ProxyApp.h"

#include <cstdio>
#include <string>

#include "common/BaseDirectory.h"
#include "engine/BlockLog.h"
#include "host/DaemonControl.h"
#include "host/HostNames.h"
#include "host/ServiceMain.h"
#include "log/AccessLogger.h"
#include "log/DiagnosticLog.h"
#include "platform/Event.h"
#include "platform/InstanceLock.h"
#include "platform/ProcessControl.h"
#include "platform/TextFile.h"

void AppendStatusLine(const char* text)
{
    std::string line = text ? text : "";
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

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

int ProxyApp::RunTray()
{
    const std::string run = HostRuntimeDirectory();
    platform::InstanceLock instance;
    if (platform::InstanceExists(run, kProxyWindowClass) || !instance.Acquire(run, kProxyWindowClass)) {
        alreadyRunning = true;
        ExitInstance();
        return 1;
    }

    // Close requests: without "__zpfQueryExit" a close only hides the window, which
    // here means nothing happens; with it the proxy ends.
    platform::Event quit(true);
    platform::ControlChannel channel;
    (void)channel.Start(run, kProxyWindowClass, [&](const std::string& message) {
        if (message == platform::kCloseMessage && eventQueryExit.Test())
            quit.Set();
    });
    AccessLogger::getInstance().SetStatusSink(
        [](std::string_view line) { AppendStatusLine(std::string(line).c_str()); });

    DaemonControl& daemon = DaemonControl::getInstance();
    int status = 0;
    if (!daemon.InitializeFiltering()) {
        AppendStatusLine("Initialize NG");
        ShowStartError(daemon.ErrorText());
        status = 1;
    } else {
        AppendStatusLine("Initialize OK");
        if (!daemon.StartDaemon()) {
            AppendStatusLine("Start NG");
            ShowStartError(daemon.ErrorText());
            status = 1;
        } else {
            AppendStatusLine("Start OK");
            if (!platform::InstanceExists(run, kKeeperWindowClass)) {
                const std::string keeper = baseDirectory() + kKeeperProgram;
                std::vector<std::string> args{"-tray"};
                if (commandLine.noicon)
                    args.emplace_back("-noicon");
                if (platform::PathExists(keeper))
                    (void)platform::SpawnDetached(keeper, args); // the proxy runs without its keeper too
            }
            // The message loop: until a close request ends it, or the terminal's
            // interrupt or a termination signal does.
            while (!quit.IsSet()) {
                if (platform::WaitStopSignal(100) != 0)
                    quit.Set();
            }
        }
    }
    channel.Stop();
    ExitInstance();
    AccessLogger::getInstance().SetStatusSink({});
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
