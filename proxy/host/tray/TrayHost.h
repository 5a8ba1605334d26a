#pragma once

#include <functional>
#include <string>

#include "host/tray/TrayModel.h"

/// What the proxy gives the tray window module. The module is loaded only in tray
/// mode, so the proxy itself never maps the window toolkit; everything the window
/// needs from the proxy goes through this interface, and the module holds no copy of
/// the proxy's singletons.
class TrayHost {
public:
    virtual ~TrayHost() = default;

    /// The "noicon" word: no tray icon; the window still exists for close requests.
    virtual bool NoIcon() const = 0;
    /// The edition number (2: standalone, where Exit asks for the password).
    virtual int Edition() const = 0;
    /// The product version "a, b, c, d" of the build.
    virtual std::string ProductVersion() const = 0;
    /// Status lines for the window, pushed from any thread.
    virtual tray::StatusQueue& StatusLines() = 0;

    /// Called once the window exists. From then on a close request of another process
    /// calls onCloseMessage and SIGTERM or SIGINT calls onStopSignal, both on threads of
    /// the proxy: they must only post to the UI thread. Returns false when close
    /// requests cannot be taken (the window works without them).
    virtual bool WindowReady(std::function<void()> onCloseMessage, std::function<void()> onStopSignal) = 0;
    /// Called before the window goes: returns once neither callback of WindowReady runs
    /// or will run again.
    virtual void WindowClosing() = 0;
    /// Configuration, log, filter database and listener, then the keeper; the lines
    /// "Initialize OK", "Start OK" or "... NG" go to the status text. Empty on success,
    /// else the start-up error text to show. Runs on the UI thread and blocks it.
    virtual std::string StartFiltering() = 0;
    /// Tests "__zpfQueryExit" without waiting; a signalled event is cleared.
    virtual bool TestQueryExit() = 0;
    /// The administrator password; false when it cannot be read.
    virtual bool ReadPassword(std::string& password) = 0;
};

/// The module's entry, looked up by this name: runs the window until the proxy is to
/// end and returns the process's exit status (0 after a normal end, 1 after a failed start).
extern "C" {
using TrayMainFunction = int (*)(TrayHost* host);
}
inline constexpr const char* kTrayMainSymbol = "zpfTrayMain";
/// The module's file in the program directory.
inline constexpr const char* kTrayModuleFile = "libzpftray.so";
