// zpfctl browser-proxy: the browsers' proxy settings without the configuration
// application, for machines run from a terminal.
#include <cstdio>
#include <map>
#include <string>

#include "config/ConfigrationFile.h"
#include "platform/TextFile.h"
#include "proxysettings/DesktopProxy.h"
#include "proxysettings/ProxySettings.h"
#include "zpfctl/Command.h"

namespace {

// HOST:PORT, the port after the last colon so that "[::1]:3036" works.
bool parseHostPort(const std::string& text, std::string* host, int* port)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon + 1 >= text.size() || text.size() - colon > 6)
        return false;
    *host = text.substr(0, colon);
    int n = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        n = n * 10 + (text[i] - '0');
    }
    *port = n;
    return n >= 1 && n <= 65535 && ValidProxyHost(*host);
}

int show()
{
    int enable = 0;
    int port = 0;
    char host[1024];
    if (GetProxySetting(&enable, host, sizeof host, &port) != 0) {
        std::printf("browser proxy: not set\n");
    } else {
        std::printf("browser proxy: %s\n", enable ? "on" : "off");
        if (host[0])
            std::printf("server: %s:%d\n", host, port);
    }
    std::map<std::string, std::string> desktop;
    if (ReadDesktopProxy(&desktop) == 0) {
        for (const auto& [name, value] : desktop)
            std::printf("desktop %s: %s\n", name.c_str(), value.c_str());
    } else {
        std::printf("desktop: no gsettings proxy schema\n");
    }
    const std::string file = DesktopProxyShellFile();
    std::printf("shell file: %s (%s)\n", file.c_str(), platform::PathExists(file) ? "present" : "absent");
    return zpfctl::kOk;
}

int runBrowserProxy(const zpfctl::Args& args)
{
    if (args.empty())
        return zpfctl::UsageError("browser-proxy takes show, set, off, backup or restore");
    const std::string& what = args[0];
    if (what == "show" && args.size() == 1)
        return show();
    if (what == "set" && args.size() <= 2) {
        std::string host = "127.0.0.1";
        int port = 0;
        if (args.size() == 2) {
            if (!parseHostPort(args[1], &host, &port))
                return zpfctl::UsageError("'" + args[1] + "' is not HOST:PORT");
        } else {
            // The filter's own port on this machine.
            ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
            (void)cnf->Initialize();
            port = static_cast<int>(cnf->Port);
        }
        if (SetProxySetting(host.c_str(), port) != 0) {
            std::fprintf(stderr, "zpfctl: the proxy settings could not all be written\n");
            return zpfctl::kFailed;
        }
        std::printf("browser proxy set to %s:%d\n", host.c_str(), port);
        return zpfctl::kOk;
    }
    // The words without an argument: one call each, with what to say when it fails or succeeds.
    static const struct {
        const char* word;
        int (*call)();
        const char* failed;
        const char* done;
    } kPlain[] = {
        {"off", [] { return SetProxySetting(nullptr, 0); }, "the proxy settings could not all be written",
         "browser proxy off"},
        {"backup", [] { return StoreProxySetting(); }, "the backup could not be written; the old one is kept",
         "browser proxy settings backed up"},
        {"restore", [] { return RestoreProxySetting(); }, "no backup, or it could not be restored",
         "browser proxy settings restored"},
    };
    for (const auto& p : kPlain) {
        if (what != p.word || args.size() != 1)
            continue;
        if (p.call() != 0) {
            std::fprintf(stderr, "zpfctl: %s\n", p.failed);
            return zpfctl::kFailed;
        }
        std::printf("%s\n", p.done);
        return zpfctl::kOk;
    }
    return zpfctl::UsageError("browser-proxy takes show, set [HOST:PORT], off, backup or restore");
}

} // namespace

ZPFCTL_COMMAND("browser-proxy", "browser-proxy show|set [HOST:PORT]|off|backup|restore   the browsers' proxy",
               runBrowserProxy);
