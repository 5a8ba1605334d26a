#include "core/CloseSequence.h"

#include <strings.h>

#include "core/Texts.h"
#include "platform/SettingsStore.h"
#include "proxysettings/ProxySettings.h"

namespace {

constexpr size_t kServerBuffer = 256;

} // namespace

bool LibraryBrowserSettings::Read(bool* enabled, std::string* server, int* port)
{
    int on = 0;
    char buffer[kServerBuffer] = {};
    int readPort = 0;
    if (GetProxySetting(&on, buffer, sizeof buffer, &readPort) != 0)
        return false;
    *enabled = on != 0;
    *server = buffer;
    *port = readPort;
    return true;
}

void LibraryBrowserSettings::Apply(int noChange, bool setProxy, bool desk, int port)
{
    // Failures leave the browsers as they were; the proxy works all the same.
    (void)SetConnectionsTab(static_cast<uint32_t>(noChange));
    if (!setProxy)
        return;
    if (desk) {
        (void)SetProxySetting(platform::Hive::CurrentUser, "localhost", port);
    } else {
        (void)SetProxySettingsPerUser(0);
        (void)SetProxySetting(platform::Hive::LocalMachine, "localhost", port);
    }
}

bool AdoptBrowserProxy(bool enabled, const std::string& server, int port, unsigned ownPort)
{
    if (!enabled || server.empty())
        return false;
    return ::strcasecmp(server.c_str(), "localhost") != 0 || port != static_cast<int>(ownPort);
}

CloseOutcome CloseAndSave(MainWindowModel& window, SettingsDocument& document, const AppCommandLine& line,
                          UserPrompt& prompt, BrowserSettings& browser, ProxyRestartEnv& restart)
{
    if (!window.passwordChanged() && !window.modified())
        return CloseOutcome::NothingSaved;
    if (!prompt.AskYesNo(texts::kAskSave))
        return CloseOutcome::NothingSaved;
    if (window.passwordChanged()) {
        const SettingsDocument::SaveResult saved = document.SavePassword();
        if (!saved.ok) {
            prompt.Show(saved.message);
            return CloseOutcome::KeepOpen;
        }
        window.ClearPasswordChanged();
    }
    if (!window.modified())
        return CloseOutcome::PasswordSaved;

    ConfigrationFileSigleton& cnf = document.config();
    if (!window.browserSettingAtStart() && cnf.SetProxy != 0 && cnf.Proxy.empty()) {
        bool enabled = false;
        std::string server;
        int port = 0;
        if (browser.Read(&enabled, &server, &port) && AdoptBrowserProxy(enabled, server, port, cnf.Port) && port > 0 &&
            port <= 65535) {
            cnf.Proxy = server;
            cnf.ProxyPort = static_cast<unsigned>(port);
        }
    }

    SettingsDocument::SaveResult saved = document.Save(false);
    if (!saved.needsConsent.empty()) {
        if (!prompt.AskYesNo(saved.message))
            return CloseOutcome::KeepOpen;
        saved = document.Save(true);
    }
    if (!saved.ok) {
        prompt.Show(saved.message);
        return CloseOutcome::KeepOpen;
    }
    window.ClearModified();
    // Only settings that are on disk are given to the browsers.
    browser.Apply(cnf.bNoChange(), cnf.SetProxy != 0, line.desk, static_cast<int>(cnf.Port));

    prompt.Show(texts::kRestarting);
    const char* failure = RestartResultText(RestartProxy(restart, line.desk, line.noicon));
    if (*failure)
        prompt.Show(failure);
    return CloseOutcome::Saved;
}
