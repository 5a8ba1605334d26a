// The browsers' proxy settings in the registry store, their backup, and the desktop.
#include "proxysettings/ProxySettings.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/RegistryHive.h"
#include "proxysettings/ConnectionSettingsBlob.h"
#include "proxysettings/DesktopProxy.h"

using platform::Hive;
using platform::SettingsAccess;
using platform::SettingsKey;
using platform::SettingsStatus;
using platform::SettingsStore;
using platform::SettingsValue;
using platform::ValueType;

namespace {

const char* const kProxyEnable = "ProxyEnable";
const char* const kProxyServer = "ProxyServer";
const char* const kProxyOverride = "ProxyOverride";
const char* const kAutoConfigUrl = "AutoConfigURL";
const char* const kConnectionsTab = "ConnectionsTab";
const char* const kPerUser = "ProxySettingsPerUser";
// Set last by a complete backup, so a restore never works from nothing.
const char* const kBackupComplete = "BackupComplete";
const char* const kDesktopCaptured = "Captured";
const char* const kDesktopGsettings = "GSettings";
const char* const kDesktopShellFile = "ShellFile";

// Enumerations stop here at the latest; a key holding more is not ours.
constexpr uint32_t kMaxEntries = 65536;
constexpr int kMaxBackupDepth = 8;

std::string subkey(std::string_view key, std::string_view name) { return std::string(key) + "\\" + std::string(name); }

/// The hives one call uses. A writing session runs each hive's writes in one
/// transaction, committed only when the whole call succeeded.
class Session {
public:
    explicit Session(bool write)
        : m_write(write)
    {
    }
    ~Session()
    {
        for (auto& h : m_hives) {
            if (h.ok && m_write)
                (void)h.store.Rollback();
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    SettingsStore* store(Hive hive)
    {
        // Both hives in one file share one connection; two would wait for each other's lock.
        const bool shared = HivePath(Hive::LocalMachine) == HivePath(Hive::CurrentUser);
        Slot& h = m_hives[hive == Hive::LocalMachine || shared ? 0 : 1];
        if (!h.tried) {
            h.tried = true;
            h.ok = h.store.Open(HivePath(hive)) == SettingsStatus::Ok &&
                   (!m_write || h.store.Begin() == SettingsStatus::Ok);
        }
        return h.ok ? &h.store : nullptr;
    }

    /// Opens the key, creating it when missing.
    bool open(Hive hive, std::string_view path, SettingsAccess access, SettingsKey* key)
    {
        SettingsStore* s = store(hive);
        return s && s->CreateKey(path, access, key) == SettingsStatus::Ok;
    }

    /// Opens a source key to read and a target key to write, as every copy needs.
    bool openPair(Hive sourceRoot, std::string_view sourceKey, SettingsKey* source, Hive targetRoot,
                  std::string_view targetKey, SettingsKey* target)
    {
        return open(sourceRoot, sourceKey, SettingsAccess::Read, source) &&
               open(targetRoot, targetKey, SettingsAccess::ReadWrite, target);
    }

    /// Commits on success, else leaves the hives as they were; the call's result.
    int finish(int result)
    {
        for (auto& h : m_hives) {
            if (!h.ok || !m_write)
                continue;
            if (result == 0 && h.store.Commit() != SettingsStatus::Ok)
                result = 1;
            else if (result != 0)
                (void)h.store.Rollback();
            h.ok = false;
        }
        return result;
    }

private:
    struct Slot {
        SettingsStore store;
        bool tried = false;
        bool ok = false;
    };
    Slot m_hives[2];
    bool m_write;
};

int status(SettingsStatus s) { return s == SettingsStatus::Ok ? 0 : 1; }

// Writes a 32-bit value unless it already holds it.
int writeDwordIfDifferent(SettingsKey& key, std::string_view name, uint32_t value)
{
    uint32_t now = 0;
    if (key.QueryDword(name, &now) == SettingsStatus::Ok && now == value)
        return 0;
    return status(key.SetDword(name, value));
}

int writeTextIfDifferent(SettingsKey& key, std::string_view name, std::string_view text)
{
    std::string now;
    if (key.QueryString(name, &now) == SettingsStatus::Ok && now == text)
        return 0;
    return status(key.SetString(name, text));
}

// One value byte for byte; a missing source value is removed from the target.
int copyValue(const SettingsKey& source, SettingsKey& target, std::string_view name)
{
    ValueType type = ValueType::None;
    std::string data;
    SettingsStatus s = source.QueryValue(name, &type, &data);
    if (s == SettingsStatus::NotFound) {
        s = target.DeleteValue(name);
        return s == SettingsStatus::Ok || s == SettingsStatus::NotFound ? 0 : 1;
    }
    if (s != SettingsStatus::Ok)
        return 1;
    return status(target.SetValue(name, type, data));
}

int copyValue(Session& session, Hive sourceRoot, std::string_view sourceKey, Hive targetRoot,
              std::string_view targetKey, std::string_view name)
{
    SettingsKey source;
    SettingsKey target;
    if (!session.openPair(sourceRoot, sourceKey, &source, targetRoot, targetKey, &target))
        return 1;
    return copyValue(source, target, name);
}

int setPolicy(Hive root, const char* keyPath, const char* name, uint32_t value)
{
    Session session(true);
    SettingsKey key;
    if (!session.open(root, keyPath, SettingsAccess::ReadWrite, &key))
        return session.finish(1);
    return session.finish(writeDwordIfDifferent(key, name, value));
}

uint32_t getDword(Session& session, Hive root, std::string_view keyPath, std::string_view name, uint32_t def)
{
    SettingsKey key;
    if (!session.open(root, keyPath, SettingsAccess::Read, &key))
        return 0;
    uint32_t value = 0;
    return key.QueryDword(name, &value) == SettingsStatus::Ok ? value : def;
}

int copyProxySetting(Session& session, Hive sourceRoot, std::string_view sourceKey, Hive targetRoot,
                     std::string_view targetKey)
{
    SettingsKey source;
    SettingsKey target;
    if (!session.openPair(sourceRoot, sourceKey, &source, targetRoot, targetKey, &target))
        return 1;
    int result = 0;
    for (const char* name : {kProxyEnable, kProxyServer, kProxyOverride, kAutoConfigUrl})
        result |= copyValue(source, target, name);
    return result;
}

// Every binary value of the source into the target; with exact, binary values the
// source lacks are removed from the target, so it ends up as the source was.
int copyBinary(Session& session, Hive sourceRoot, std::string_view sourceKey, Hive targetRoot,
               std::string_view targetKey, bool exact)
{
    SettingsKey source;
    SettingsKey target;
    if (!session.openPair(sourceRoot, sourceKey, &source, targetRoot, targetKey, &target))
        return 1;
    int result = 0;
    SettingsValue value;
    SettingsStatus s = SettingsStatus::Ok;
    uint32_t i = 0;
    for (; i < kMaxEntries && (s = source.EnumValue(i, &value)) == SettingsStatus::Ok; ++i) {
        if (value.type == ValueType::Binary)
            result |= status(target.SetValue(value.name, value.type, value.data));
    }
    if (s != SettingsStatus::NotFound)
        return 1; // an unreadable or oversized key: better no copy than part of one
    if (!exact)
        return result;
    std::vector<std::string> stale;
    for (i = 0; i < kMaxEntries && (s = target.EnumValue(i, &value)) == SettingsStatus::Ok; ++i) {
        if (value.type == ValueType::Binary &&
            source.QueryValue(value.name, nullptr, nullptr) == SettingsStatus::NotFound)
            stale.push_back(value.name);
    }
    if (s != SettingsStatus::NotFound)
        return 1;
    for (const auto& name : stale)
        result |= status(target.DeleteValue(name));
    return result;
}

// The dial-up connection names, or false when the profiles cannot be read.
bool dialUpProfiles(Session& session, std::vector<std::string>* names)
{
    SettingsKey profiles;
    if (!session.open(Hive::CurrentUser, kDialUpProfilesKey, SettingsAccess::Read, &profiles))
        return false;
    names->clear();
    std::string name;
    SettingsStatus s = SettingsStatus::Ok;
    for (uint32_t i = 0; i < kMaxEntries && (s = profiles.EnumSubkey(i, &name)) == SettingsStatus::Ok; ++i)
        names->push_back(name);
    return s == SettingsStatus::NotFound;
}

int storeDialUpDefaults(Session& session, Hive root, std::string_view keyPath)
{
    SettingsKey key;
    std::vector<std::string> profiles;
    if (!session.open(root, keyPath, SettingsAccess::ReadWrite, &key) || !dialUpProfiles(session, &profiles))
        return 1;
    // A direct connection: version, counter 0, flags 1, the rest zero.
    std::string direct(56, '\0');
    direct[0] = static_cast<char>(ConnectionSettingsBlob::kVersion);
    direct[8] = static_cast<char>(ConnectionSettingsBlob::kFlagDirect);
    int result = 0;
    for (const auto& name : profiles)
        result |= status(key.SetBinary(name, direct));
    return result;
}

// Deletes a key with everything under it; a missing key is no failure.
int deleteTree(SettingsStore& store, const std::string& path, int depth)
{
    if (depth > kMaxBackupDepth)
        return 1;
    SettingsKey key;
    SettingsStatus s = store.OpenKey(path, SettingsAccess::Read, &key);
    if (s == SettingsStatus::NotFound)
        return 0;
    if (s != SettingsStatus::Ok)
        return 1;
    std::vector<std::string> children;
    std::string name;
    for (uint32_t i = 0; i < kMaxEntries && (s = key.EnumSubkey(i, &name)) == SettingsStatus::Ok; ++i)
        children.push_back(name);
    if (s != SettingsStatus::NotFound)
        return 1;
    key.Close();
    for (const auto& child : children) {
        if (deleteTree(store, subkey(path, child), depth + 1) != 0)
            return 1;
    }
    return status(store.DeleteKey(path));
}

// The server text written for a host, empty for none.
std::string serverText(const char* host, int port)
{
    if (!host || !*host)
        return {};
    char text[300];
    std::snprintf(text, sizeof text, "http=%s:%d", host, port);
    return text;
}

// Brings one connection value to the template; old holds its bytes now.
std::string rewrittenConnection(std::string_view old, std::string_view server)
{
    ConnectionSettingsBlob blob;
    if (!ParseConnectionSettings(old, &blob)) {
        // Lengths that run past the value: nothing after them can be trusted, so the
        // value starts afresh, as a new one would.
        uint32_t counter = 1;
        if (old.size() >= 8) {
            counter = 0;
            for (size_t i = 0; i < 4; ++i)
                counter |= static_cast<uint32_t>(static_cast<unsigned char>(old[4 + i])) << (8 * i);
            ++counter;
        }
        return ConnectionSettingsTemplate(counter, server) +
               std::string(ConnectionSettingsBlob::kNewRemainderSize, '\0');
    }
    return ConnectionSettingsTemplate(blob.counter + 1, server) + blob.remainder;
}

// Whether the value's leading part already is the template, its counter left aside.
bool matchesTemplate(std::string_view value, std::string_view tmpl)
{
    if (value.size() < tmpl.size())
        return false;
    return value.substr(0, 4) == tmpl.substr(0, 4) && value.substr(8, tmpl.size() - 8) == tmpl.substr(8);
}

int setProxySetting(Hive root, const char* host, int port)
{
    const bool on = host && *host;
    if (on && (!ValidProxyHost(host) || port < 1 || port > 65535))
        return 1;
    const std::string server = serverText(host, port);

    Session session(true);
    int result = 0;
    {
        SettingsKey settings;
        if (!session.open(root, kInternetSettingsKey, SettingsAccess::ReadWrite, &settings))
            return session.finish(1);
        result |= writeDwordIfDifferent(settings, kProxyEnable, on ? 1 : 0);
        result |= writeTextIfDifferent(settings, kProxyServer, server);
        result |= writeTextIfDifferent(settings, kProxyOverride, "");
        result |= writeTextIfDifferent(settings, kAutoConfigUrl, "");
        result |= status(settings.Flush());
    }

    SettingsKey connections;
    if (!session.open(root, kConnectionsKey, SettingsAccess::ReadWrite, &connections))
        return session.finish(1);
    const std::string tmpl = ConnectionSettingsTemplate(0, server);
    SettingsValue value;
    SettingsStatus s = SettingsStatus::Ok;
    // A rewritten value keeps its place, so the index walk sees every value once.
    for (uint32_t i = 0; i < kMaxEntries && (s = connections.EnumValue(i, &value)) == SettingsStatus::Ok; ++i) {
        if (value.type != ValueType::Binary || matchesTemplate(value.data, tmpl))
            continue;
        // Too long for the store is a failure of the whole call, never a cut value.
        result |= status(connections.SetBinary(value.name, rewrittenConnection(value.data, server)));
    }
    if (s != SettingsStatus::NotFound)
        result = 1;

    std::vector<std::string> profiles;
    if (!dialUpProfiles(session, &profiles))
        return session.finish(1);
    const std::string fresh =
        ConnectionSettingsTemplate(1, server) + std::string(ConnectionSettingsBlob::kNewRemainderSize, '\0');
    for (const auto& name : profiles) {
        if (connections.QueryValue(name, nullptr, nullptr) == SettingsStatus::NotFound)
            result |= status(connections.SetBinary(name, fresh));
    }
    connections.Close();
    result = session.finish(result);
    if (result != 0)
        return result;
    // The desktop follows what the hive now says.
    return ApplyDesktopProxy(on, on ? host : "", port, "");
}

// The desktop's values under the user's backup, as CaptureDesktopProxy saw them.
int storeDesktop(Session& session)
{
    DesktopProxySnapshot snapshot;
    int result = CaptureDesktopProxy(&snapshot);
    SettingsKey key;
    if (!session.open(Hive::LocalMachine, subkey(kProxyBackupUserKey, "Desktop"), SettingsAccess::ReadWrite, &key))
        return 1;
    result |= status(key.SetDword(kDesktopGsettings, snapshot.gsettingsKnown ? 1 : 0));
    for (const auto& [name, text] : snapshot.gsettings)
        result |= status(key.SetString(name, text));
    if (snapshot.shellFile)
        result |= status(key.SetBinary(kDesktopShellFile, *snapshot.shellFile));
    result |= status(key.SetDword(kDesktopCaptured, 1));
    return result;
}

// False when the backup holds no desktop values.
bool readDesktopBackup(Session& session, DesktopProxySnapshot* snapshot)
{
    SettingsKey key;
    if (!session.open(Hive::LocalMachine, subkey(kProxyBackupUserKey, "Desktop"), SettingsAccess::Read, &key))
        return false;
    uint32_t captured = 0;
    if (key.QueryDword(kDesktopCaptured, &captured) != SettingsStatus::Ok || captured != 1)
        return false;
    uint32_t known = 0;
    snapshot->gsettingsKnown = key.QueryDword(kDesktopGsettings, &known) == SettingsStatus::Ok && known == 1;
    SettingsValue value;
    for (uint32_t i = 0; i < kMaxEntries && key.EnumValue(i, &value) == SettingsStatus::Ok; ++i) {
        if (value.name == kDesktopShellFile && value.type == ValueType::Binary)
            snapshot->shellFile = value.data;
        else if (value.type == ValueType::String && value.name.find(' ') != std::string::npos)
            snapshot->gsettings[value.name] = value.data.substr(0, value.data.find('\0'));
    }
    return true;
}

// Like atoi, without overflow.
int leadingNumber(const char* text)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    long long n = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        n = n * 10 + (*text - '0') > INT_MAX ? INT_MAX : n * 10 + (*text - '0');
    return static_cast<int>(negative ? -n : n);
}

} // namespace

bool ValidProxyHost(std::string_view host)
{
    if (host.empty() || host.size() > 255)
        return false;
    if (host.front() == '[') {
        if (host.size() < 4 || host.back() != ']')
            return false;
        for (char c : host.substr(1, host.size() - 2)) {
            const bool ok =
                (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
            if (!ok)
                return false;
        }
        return true;
    }
    for (char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '-' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

int SetConnectionsTab(uint32_t value)
{
    return setPolicy(Hive::CurrentUser, kControlPanelPolicyKey, kConnectionsTab, value);
}

int SetProxySettingsPerUser(uint32_t value)
{
    return setPolicy(Hive::LocalMachine, kPerUserPolicyKey, kPerUser, value);
}

int SetNoChange(bool flag)
{
    return flag ? SetConnectionsTab(1) | SetProxySettingsPerUser(0) : SetConnectionsTab(0) | SetProxySettingsPerUser(1);
}

uint32_t GetRegistryDWORD(Hive root, std::string_view key, std::string_view name, uint32_t def)
{
    Session session(false);
    return getDword(session, root, key, name, def);
}

int GetProxySetting(int* enable, char* server, size_t size)
{
    if (!enable || !server || size == 0)
        return 1;
    Session session(false);
    const Hive root = getDword(session, Hive::LocalMachine, kPerUserPolicyKey, kPerUser, 1) != 0 ? Hive::CurrentUser
                                                                                                 : Hive::LocalMachine;
    SettingsKey key;
    if (!session.open(root, kInternetSettingsKey, SettingsAccess::Read, &key))
        return 1;
    uint32_t on = 0;
    std::string text;
    if (key.QueryDword(kProxyEnable, &on) != SettingsStatus::Ok ||
        key.QueryString(kProxyServer, &text) != SettingsStatus::Ok || text.size() >= size)
        return 1;
    *enable = static_cast<int>(on);
    std::memcpy(server, text.c_str(), text.size() + 1);
    return 0;
}

int GetProxySetting(int* enable, char* server, size_t size, int* port)
{
    if (!enable || !server || size == 0 || !port)
        return 1;
    std::memset(server, 0, size);
    *port = 0;
    if (GetProxySetting(enable, server, size) != 0)
        return 1;
    if (char* semicolon = std::strchr(server, ';'))
        *semicolon = '\0';
    // The last colon, so a bracketed IPv6 address keeps its own.
    if (char* colon = std::strrchr(server, ':')) {
        *port = leadingNumber(colon + 1);
        *colon = '\0';
    }
    if (std::strncmp(server, "http=", 5) == 0)
        std::memmove(server, server + 5, std::strlen(server + 5) + 1);
    return 0;
}

int SetProxySetting(Hive root, const char* host, int port) { return setProxySetting(root, host, port); }

int SetProxySetting(const char* host, int port)
{
    return setProxySetting(Hive::CurrentUser, host, port) | setProxySetting(Hive::LocalMachine, host, port);
}

int CopyRegistryBINARY(Hive sourceRoot, std::string_view sourceKey, Hive targetRoot, std::string_view targetKey)
{
    Session session(true);
    return session.finish(copyBinary(session, sourceRoot, sourceKey, targetRoot, targetKey, false));
}

int CopyProxySetting(Hive sourceRoot, std::string_view sourceKey, Hive targetRoot, std::string_view targetKey)
{
    Session session(true);
    return session.finish(copyProxySetting(session, sourceRoot, sourceKey, targetRoot, targetKey));
}

uint32_t CopyRegistryDWORD(Hive sourceRoot, std::string_view sourceKey, std::string_view name, Hive targetRoot,
                           std::string_view targetKey, uint32_t def)
{
    Session session(true);
    SettingsKey source;
    SettingsKey target;
    if (!session.openPair(sourceRoot, sourceKey, &source, targetRoot, targetKey, &target)) {
        session.finish(1);
        return 0;
    }
    uint32_t value = def;
    if (source.QueryDword(name, &value) != SettingsStatus::Ok)
        value = def;
    if (session.finish(status(target.SetDword(name, value))) != 0)
        return 0;
    return value;
}

int StoreDialUpDefaults(Hive root, std::string_view key)
{
    Session session(true);
    return session.finish(storeDialUpDefaults(session, root, key));
}

int DeleteProxySetting(Hive root, std::string_view keyPath)
{
    Session session(true);
    SettingsKey key;
    if (!session.open(root, keyPath, SettingsAccess::ReadWrite, &key))
        return session.finish(1);
    int result = 0;
    for (const char* name : {kPerUser, kProxyEnable, kProxyServer, kProxyOverride, kAutoConfigUrl}) {
        SettingsStatus s = key.DeleteValue(name);
        result |= s == SettingsStatus::Ok || s == SettingsStatus::NotFound ? 0 : 1;
    }
    return session.finish(result);
}

int StoreProxySetting()
{
    Session session(true);
    SettingsStore* machine = session.store(Hive::LocalMachine);
    // The whole old backup goes, or a value it held and the settings no longer have
    // would come back at the next restore.
    if (!machine || deleteTree(*machine, kProxyBackupKey, 0) != 0)
        return session.finish(1);
    int result =
        copyValue(session, Hive::LocalMachine, kPerUserPolicyKey, Hive::LocalMachine, kProxyBackupKey, kPerUser);
    result |=
        copyProxySetting(session, Hive::CurrentUser, kInternetSettingsKey, Hive::LocalMachine, kProxyBackupUserKey);
    result |= copyBinary(session, Hive::CurrentUser, kConnectionsKey, Hive::LocalMachine,
                         subkey(kProxyBackupUserKey, "Connections"), false);
    result |= storeDialUpDefaults(session, Hive::LocalMachine, subkey(kProxyBackupUserKey, "Connections"));
    result |=
        copyProxySetting(session, Hive::LocalMachine, kInternetSettingsKey, Hive::LocalMachine, kProxyBackupMachineKey);
    result |= copyBinary(session, Hive::LocalMachine, kConnectionsKey, Hive::LocalMachine,
                         subkey(kProxyBackupMachineKey, "Connections"), false);
    result |= storeDialUpDefaults(session, Hive::LocalMachine, subkey(kProxyBackupMachineKey, "Connections"));
    result |= storeDesktop(session);
    SettingsKey root;
    if (result == 0 && session.open(Hive::LocalMachine, kProxyBackupKey, SettingsAccess::ReadWrite, &root))
        result |= status(root.SetDword(kBackupComplete, 1));
    else
        result = 1;
    return session.finish(result);
}

int RestoreProxySetting()
{
    Session session(true);
    SettingsStore* machine = session.store(Hive::LocalMachine);
    SettingsKey root;
    uint32_t complete = 0;
    if (!machine || machine->OpenKey(kProxyBackupKey, SettingsAccess::Read, &root) != SettingsStatus::Ok ||
        root.QueryDword(kBackupComplete, &complete) != SettingsStatus::Ok || complete != 1)
        return session.finish(1);
    root.Close();
    int result =
        copyValue(session, Hive::LocalMachine, kProxyBackupKey, Hive::LocalMachine, kPerUserPolicyKey, kPerUser);
    result |=
        copyProxySetting(session, Hive::LocalMachine, kProxyBackupUserKey, Hive::CurrentUser, kInternetSettingsKey);
    result |= copyBinary(session, Hive::LocalMachine, subkey(kProxyBackupUserKey, "Connections"), Hive::CurrentUser,
                         kConnectionsKey, true);
    result |=
        copyProxySetting(session, Hive::LocalMachine, kProxyBackupMachineKey, Hive::LocalMachine, kInternetSettingsKey);
    result |= copyBinary(session, Hive::LocalMachine, subkey(kProxyBackupMachineKey, "Connections"), Hive::LocalMachine,
                         kConnectionsKey, true);
    DesktopProxySnapshot desktop;
    const bool hasDesktop = readDesktopBackup(session, &desktop);
    result = session.finish(result);
    if (result != 0 || !hasDesktop)
        return result;
    return RestoreDesktopProxy(desktop);
}

int DeleteStoreProxySetting()
{
    Session session(true);
    SettingsStore* machine = session.store(Hive::LocalMachine);
    if (!machine)
        return session.finish(1);
    return session.finish(deleteTree(*machine, kProxyBackupKey, 0));
}
