// The two start stages of filtering (configuration and listener) and the stop.
#include "host/DaemonControl.h"

#include "common/BaseDirectory.h"
#include "config/ConfigrationFile.h"
#include "engine/HTTPdaemonThread.h"
#include "filterdb/FilterDatabase.h"
#include "host/HostNames.h"
#include "log/AccessLogger.h"
#include "log/DiagnosticLog.h"
#include "log/TraceLog.h"
#include "platform/NamedEvent.h"
#include "platform/ProcessControl.h"

const char* const StartErrorText[7] = {
    "Filtering Initialization failed.",
    "WinSock Initialization failed.",
    "Thread Create failed.",
    "Thread Suspend failed.",
    "Sock Create failed.",
    "Port Bind failed.",
    "Configration File Read failed.",
};

namespace {
void statusMessage(const char* text) { AccessLogger::getInstance().Write(text, false, true); }

void listenerEntry(void* params) { HTTPdaemonThread(static_cast<DaemonParams*>(params)); }
} // namespace

DaemonControl& DaemonControl::getInstance()
{
    static DaemonControl control;
    return control;
}

const char* DaemonControl::ErrorText() const
{
    const int code = static_cast<int>(errorCode);
    return code >= 0 && code < 7 ? StartErrorText[code] : StartErrorText[0];
}

bool DaemonControl::InitializeFiltering()
{
    baseDirectory(); // the program directory, taken once
    AccessLogger& log = AccessLogger::getInstance();
    log.SetLogSize(0);
    statusMessage("Configration Initialize Start");
    ConfigrationFileSigleton* config = ConfigrationFileSigleton::getInstance();
    if (config->Initialize()) {
        errorCode = StartError::ConfigurationRead;
        return false;
    }
    SetTraceMode(config->TestMode);
    statusMessage("Log Initialize Start");
    log.Configure(LogSettingsFromConfig(*config));
    log.SetLogSize(config->LogSize);
    statusMessage("Database Initialize Start");
    if (config->useFilteringDB())
        LoadFilterDatabase();
    return true;
}

bool DaemonControl::StartDaemon()
{
    statusMessage("WinSock Initialize Start");
    if (platform::NetworkStartup() != 0) {
        errorCode = StartError::NetworkStartup;
        return false;
    }
    WriteServiceLog("--");
    WriteServiceLog("Winsock Initialized.");
    statusMessage("Daemon Initialize Start");
    // Threads start running at once here; there is no separate resume step to fail.
    if (!platform::StartDetachedThread(listenerEntry, &params)) {
        WriteServiceLog("Thread Create failed.");
        errorCode = StartError::ThreadCreate;
        return false;
    }
    WriteServiceLog("Thread Created.");
    WriteServiceLog("Thread Suspended.");
    if (platform::Event::WaitAny({&params.eventFailed, &params.eventBound}) == 0) {
        errorCode = params.failCode;
        return false;
    }
    return true;
}

void DaemonControl::StopDaemon()
{
    if (params.eventStop)
        params.eventStop->Set();
    WriteServiceLog("Set eventStop.");
    {
        // The listener closes its socket itself; shutting it down here only makes
        // sure nothing more is accepted.
        std::lock_guard<std::mutex> guard(params.socketLock);
        if (params.daemonSocket != platform::kInvalidSocket)
            platform::ShutdownSocket(params.daemonSocket, platform::ShutdownHow::Both);
    }
    WriteServiceLog("Close daemonSocket.");
    if (params.eventEnded)
        params.eventEnded->Wait();
    params.eventStop.reset();
    params.eventEnded.reset();
}

void DaemonControl::ReleaseDaemon()
{
    platform::NamedEvent keeperStop;
    if (keeperStop.Open(HostRuntimeDirectory(), kEventKeeperStop)) {
        keeperStop.Signal();
        keeperStop.Close();
    }
    platform::NetworkCleanup();
}
