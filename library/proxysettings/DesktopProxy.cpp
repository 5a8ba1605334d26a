// The desktop's own proxy settings: gsettings keys and a shell file for the terminal.
#include "proxysettings/DesktopProxy.h"

#include <utility>
#include <vector>

#include "platform/DesktopSettings.h"
#include "platform/FileSystem.h"
#include "platform/TextFile.h"
#include "proxysettings/ProxySettings.h"

namespace {

const char* const kProxySchema = "org.gnome.system.proxy";
const char* const kHttpSchema = "org.gnome.system.proxy.http";
const char* const kHttpsSchema = "org.gnome.system.proxy.https";

struct ManagedKey {
    const char* schema;
    const char* key;
};
// Mode last: a desktop watching the keys never sees "manual" with the old server.
const ManagedKey kManagedKeys[] = {
    {kHttpSchema, "host"},  {kHttpSchema, "port"},          {kHttpsSchema, "host"},
    {kHttpsSchema, "port"}, {kProxySchema, "ignore-hosts"}, {kProxySchema, "mode"},
};

std::string keyName(const ManagedKey& k) { return std::string(k.schema) + " " + k.key; }

// A GVariant string literal.
std::string quoted(std::string_view text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('\'');
    return out;
}

// A shell word that the shell takes literally.
std::string shellQuoted(std::string_view text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out.push_back(c);
    }
    out.push_back('\'');
    return out;
}

bool plainPattern(std::string_view entry)
{
    if (entry.empty() || entry.size() > 255)
        return false;
    for (char c : entry) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '-' || c == '_' || c == '*' || c == ':' || c == '/' || c == '[' || c == ']';
        if (!ok)
            return false;
    }
    return true;
}

std::vector<std::string> bypassHosts(std::string_view bypass)
{
    std::vector<std::string> hosts;
    // Bounded: the settings text can be long, the desktop list need not be.
    constexpr size_t kMaxEntries = 256;
    while (!bypass.empty() && hosts.size() < kMaxEntries) {
        size_t sep = bypass.find_first_of("; ,");
        std::string_view entry = bypass.substr(0, sep);
        bypass = sep == std::string_view::npos ? std::string_view() : bypass.substr(sep + 1);
        if (entry == "<local>") {
            for (const char* local : {"localhost", "127.0.0.0/8", "::1"})
                hosts.emplace_back(local);
        } else if (plainPattern(entry)) {
            hosts.emplace_back(entry);
        }
    }
    return hosts;
}

std::string hostList(const std::vector<std::string>& hosts)
{
    if (hosts.empty())
        return "@as []";
    std::string out = "[";
    for (size_t i = 0; i < hosts.size(); ++i)
        out += (i ? ", " : "") + quoted(hosts[i]);
    return out + "]";
}

// "schema key value" lines of gsettings list-recursively, for the managed keys.
bool readGsettings(bool schemaDefaults, std::map<std::string, std::string>* values)
{
    std::string out;
    if (platform::RunGsettings({"list-recursively", kProxySchema}, &out, schemaDefaults) != 0)
        return false;
    values->clear();
    size_t start = 0;
    while (start < out.size()) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        std::string_view line(out.data() + start, end - start);
        start = end + 1;
        for (const ManagedKey& k : kManagedKeys) {
            std::string name = keyName(k) + " ";
            if (line.substr(0, name.size()) == name)
                (*values)[keyName(k)] = std::string(line.substr(name.size()));
        }
    }
    return values->size() == std::size(kManagedKeys);
}

// gsettings without the desktop's proxy schema has nothing to apply or keep. The
// in-memory backend fails only for that reason.
bool schemaMissing()
{
    std::map<std::string, std::string> defaults;
    return !readGsettings(true, &defaults);
}

int setGsettings(const ManagedKey& k, const std::string& value)
{
    return platform::RunGsettings({"set", k.schema, k.key, value}, nullptr, false) == 0 ? 0 : 1;
}

int writeShellFile(const std::string& path, const std::optional<std::string>& content)
{
    std::string now;
    const bool exists = platform::ReadFileBytes(path, now);
    if (!content)
        return !exists || platform::RemoveFile(path) ? 0 : 1;
    if (exists && now == *content)
        return 0;
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !platform::MakeDirectories(path.substr(0, slash)))
        return 1;
    bool ok = platform::ReplaceFileAtomically(path, [&content](const std::string& temp) {
        platform::TextFile f;
        if (!f.Open(temp, "wb"))
            return false;
        bool written = f.Puts(*content);
        return f.Close() && written;
    });
    return ok ? 0 : 1;
}

std::string urlHost(std::string_view host)
{
    // A bare IPv6 address needs its brackets in a URL.
    if (host.find(':') != std::string_view::npos && host.front() != '[')
        return "[" + std::string(host) + "]";
    return std::string(host);
}

} // namespace

std::string DesktopProxyShellFile()
{
    std::string dir = platform::UserConfigDirectory();
    return dir.empty() ? std::string() : dir + "/zpf/proxy.sh";
}

int ApplyDesktopProxy(bool enable, std::string_view host, int port, std::string_view bypass)
{
    if (enable && (!ValidProxyHost(host) || port < 1 || port > 65535))
        return 1;
    int result = 0;
    const std::vector<std::string> hosts = bypassHosts(bypass);
    if (platform::GsettingsInstalled()) {
        std::map<std::string, std::string> now;
        if (!readGsettings(false, &now)) {
            result = schemaMissing() ? 0 : 1;
        } else {
            // The desktop wants an IPv6 address without brackets.
            std::string bare(host);
            if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']')
                bare = bare.substr(1, bare.size() - 2);
            std::map<std::string, std::string> want;
            if (enable) {
                want = {{"org.gnome.system.proxy.http host", quoted(bare)},
                        {"org.gnome.system.proxy.http port", std::to_string(port)},
                        {"org.gnome.system.proxy.https host", quoted(bare)},
                        {"org.gnome.system.proxy.https port", std::to_string(port)},
                        {"org.gnome.system.proxy ignore-hosts", hostList(hosts)},
                        {"org.gnome.system.proxy mode", "'manual'"}};
            } else {
                want = {{"org.gnome.system.proxy mode", "'none'"}};
            }
            for (const ManagedKey& k : kManagedKeys) {
                auto w = want.find(keyName(k));
                if (w != want.end() && now[w->first] != w->second)
                    result |= setGsettings(k, w->second);
            }
        }
    }

    const std::string file = DesktopProxyShellFile();
    if (file.empty())
        return 1;
    std::optional<std::string> content;
    if (enable) {
        const std::string url = "http://" + urlHost(host) + ":" + std::to_string(port) + "/";
        std::string noProxy;
        for (const auto& h : hosts)
            noProxy += (noProxy.empty() ? "" : ",") + h;
        content = "# The filtering proxy for command-line programs; rewritten when the proxy settings change.\n"
                  "export http_proxy=" +
                  shellQuoted(url) + "\nexport https_proxy=" + shellQuoted(url) +
                  "\nexport no_proxy=" + shellQuoted(noProxy) + "\n";
    }
    return result | writeShellFile(file, content);
}

int ReadDesktopProxy(std::map<std::string, std::string>* values)
{
    return platform::GsettingsInstalled() && readGsettings(false, values) ? 0 : 1;
}

int CaptureDesktopProxy(DesktopProxySnapshot* snapshot)
{
    *snapshot = DesktopProxySnapshot();
    int result = 0;
    if (platform::GsettingsInstalled()) {
        std::map<std::string, std::string> now;
        std::map<std::string, std::string> defaults;
        if (readGsettings(false, &now) && readGsettings(true, &defaults)) {
            snapshot->gsettingsKnown = true;
            // A key at its default counts as not set, and is reset on restore.
            for (const auto& [name, value] : now) {
                if (defaults[name] != value)
                    snapshot->gsettings[name] = value;
            }
        } else if (!schemaMissing()) {
            result = 1;
        }
    }
    const std::string file = DesktopProxyShellFile();
    std::string bytes;
    if (!file.empty() && platform::ReadFileBytes(file, bytes))
        snapshot->shellFile = std::move(bytes);
    return result;
}

int RestoreDesktopProxy(const DesktopProxySnapshot& snapshot)
{
    int result = 0;
    if (snapshot.gsettingsKnown && platform::GsettingsInstalled()) {
        for (const ManagedKey& k : kManagedKeys) {
            auto it = snapshot.gsettings.find(keyName(k));
            if (it != snapshot.gsettings.end())
                result |= setGsettings(k, it->second);
            else
                result |= platform::RunGsettings({"reset", k.schema, k.key}, nullptr, false) == 0 ? 0 : 1;
        }
    }
    const std::string file = DesktopProxyShellFile();
    if (file.empty())
        return 1;
    return result | writeShellFile(file, snapshot.shellFile);
}
