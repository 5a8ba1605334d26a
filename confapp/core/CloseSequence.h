#pragma once

#include <string>

#include "core/AppCommandLine.h"
#include "core/MainWindowModel.h"
#include "core/ProxyRestart.h"
#include "core/SettingsDocument.h"

/// Questions and messages for the user, answered by message boxes (or a test).
class UserPrompt {
public:
    virtual ~UserPrompt() = default;
    virtual bool AskYesNo(const std::string& text) = 0;
    virtual void Show(const std::string& text) = 0;
};

/// The browsers' proxy settings as the close sequence uses them.
class BrowserSettings {
public:
    virtual ~BrowserSettings() = default;
    /// The browsers' current proxy; false when it cannot be read.
    virtual bool Read(bool* enabled, std::string* server, int* port) = 0;
    /// Points the browsers at this proxy (per user with desk, else for the machine).
    virtual void Apply(int noChange, bool setProxy, bool desk, int port) = 0;
};

/// The library's browser settings.
class LibraryBrowserSettings final : public BrowserSettings {
public:
    bool Read(bool* enabled, std::string* server, int* port) override;
    void Apply(int noChange, bool setProxy, bool desk, int port) override;
};

enum class CloseOutcome {
    /// Nothing needed saving, or the user said No.
    NothingSaved,
    /// Only the password was stored.
    PasswordSaved,
    /// Everything was saved and the proxy restarted (or told why it was not).
    Saved,
    /// A save failed or the user refused to replace a damaged file: the window stays
    /// open with every change.
    KeepOpen,
};

/// Leaving the main window: asks, saves, sets the browsers and restarts the proxy.
CloseOutcome CloseAndSave(MainWindowModel& window, SettingsDocument& document, const AppCommandLine& line,
                          UserPrompt& prompt, BrowserSettings& browser, ProxyRestartEnv& restart);

/// Whether the browsers' proxy becomes the upstream proxy: it is on, and not this
/// proxy itself ("localhost" on our own port).
bool AdoptBrowserProxy(bool enabled, const std::string& server, int port, unsigned ownPort);
