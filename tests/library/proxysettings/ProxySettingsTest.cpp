// The byte layout of a connection's settings value, then the proxy settings on real hive
// files in a temporary directory, with the desktop's settings in a key file there too, so
// the user's own settings are never touched.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <map>
#include <string>

#include "common/RegistryHive.h"
#include "platform/DesktopSettings.h"
#include "proxysettings/ConnectionSettingsBlob.h"
#include "proxysettings/DesktopProxy.h"
#include "proxysettings/ProxySettings.h"
#include "support/TempDir.h"

using namespace std::string_literals;
using platform::Hive;
using platform::ValueType;

namespace {

/// A length or counter as the value stores it: four bytes, least significant first.
std::string le(uint32_t v)
{
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

const Hive CU = Hive::CurrentUser;
const Hive LM = Hive::LocalMachine;

std::string blob(uint32_t counter, const std::string& server, const std::string& rest)
{
    ConnectionSettingsBlob b;
    b.version = 70;
    b.counter = counter;
    b.flags = 9;
    b.server = server;
    b.bypass = "<local>";
    b.autoConfig = "http://wpad/x.pac";
    b.remainder = rest;
    return SerializeConnectionSettings(b);
}

std::string fresh(uint32_t counter, const std::string& server)
{
    return ConnectionSettingsTemplate(counter, server) + std::string(28, '\0');
}

class ProxySettingsTest : public ::testing::Test {
protected:
    zpftest::TempDir dir;
    zpftest::ScopedEnv backend{"GSETTINGS_BACKEND", "keyfile"};
    zpftest::ScopedEnv config{"XDG_CONFIG_HOME", dir.file("config")};
    zpftest::ScopedEnv home{"HOME", dir.file("home")};
    platform::StoreSettingsHive hives[2];

    void SetUp() override
    {
        SetHivePath(LM, dir.file("machine.db"));
        SetHivePath(CU, dir.file("user.db"));
        ASSERT_EQ(hives[0].Open(dir.file("machine.db")), platform::SettingsStatus::Ok);
        ASSERT_EQ(hives[1].Open(dir.file("user.db")), platform::SettingsStatus::Ok);
    }
    void TearDown() override
    {
        SetHivePath(LM, "");
        SetHivePath(CU, "");
    }
    platform::SettingsHive& hive(Hive h) { return hives[h == LM ? 0 : 1]; }
    void set(Hive h, const std::string& key, const std::string& name, ValueType type, const std::string& data)
    {
        ASSERT_EQ(hive(h).SetValue(key, name, type, data), platform::SettingsStatus::Ok) << name;
    }
    /// The value as "type:bytes", or "absent".
    std::string get(Hive h, const std::string& key, const std::string& name)
    {
        ValueType type;
        std::string data;
        if (hive(h).QueryValue(key, name, &type, &data) != platform::SettingsStatus::Ok)
            return "absent";
        return std::to_string(static_cast<int>(type)) + ":" + data;
    }
    /// Every value of a key.
    std::map<std::string, std::string> dump(Hive h, const std::string& key)
    {
        std::map<std::string, std::string> out;
        platform::SettingsValue v;
        for (uint32_t i = 0; hive(h).EnumValue(key, i, &v) == platform::SettingsStatus::Ok; ++i)
            out[v.name] = std::to_string(static_cast<int>(v.type)) + ":" + v.data;
        return out;
    }
    std::string gsettings(const std::string& args)
    {
        std::string out;
        std::vector<std::string> argv;
        for (size_t at = 0; at < args.size();) {
            size_t sp = std::min(args.find(' ', at), args.size());
            argv.push_back(args.substr(at, sp - at));
            at = sp + 1;
        }
        EXPECT_EQ(platform::RunGsettings(argv, &out, false), 0) << args;
        return out;
    }
};

std::string dword(uint32_t v) { return "4:"s + std::string(reinterpret_cast<const char*>(&v), 4); }
std::string text(const std::string& t) { return "1:" + t + '\0'; }

} // namespace

TEST(ConnectionSettingsBlobTest, TemplateBytesFollowTheLayout)
{
    struct Case {
        uint32_t counter;
        std::string server;
        std::string bytes;
    } cases[] = {
        {1, "http=localhost:8080", le(0x3c) + le(1) + le(3) + le(19) + "http=localhost:8080" + le(0) + le(0)},
        {0x01020304, "", le(0x3c) + "\x04\x03\x02\x01"s + le(1) + le(0) + le(0) + le(0)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConnectionSettingsTemplate(c.counter, c.server), c.bytes) << c.server;
        EXPECT_EQ(c.bytes.size(), ConnectionSettingsBlob::kFixedSize + c.server.size());
    }
}

TEST(ConnectionSettingsBlobTest, ParsesWhatFitsAndRefusesLengthsPastTheEnd)
{
    const std::string head = le(0x3c) + le(7) + le(3);
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        std::string remainder;
    } cases[] = {
        {"empty", "", false, ""},
        {"shorter than the header", head.substr(0, 11), false, ""},
        {"no first length", head, false, ""},
        {"first length past the end", head + le(16) + "abc", false, ""},
        {"huge third length", head + le(0) + le(0) + le(0xffffffff) + "x", false, ""},
        {"texts exactly fill it", head + le(1) + "a" + le(0) + le(2) + "bc", true, ""},
        {"remainder kept", head + le(0) + le(0) + le(0) + "REST\0\xff"s, true, "REST\0\xff"s},
    };
    for (const auto& c : cases) {
        ConnectionSettingsBlob blob;
        ASSERT_EQ(ParseConnectionSettings(c.bytes, &blob), c.ok) << c.name;
        if (!c.ok)
            continue;
        EXPECT_EQ(blob.counter, 7u) << c.name;
        EXPECT_EQ(blob.remainder, c.remainder) << c.name;
        EXPECT_EQ(SerializeConnectionSettings(blob), c.bytes) << c.name;
    }
}

TEST_F(ProxySettingsTest, SetRewritesEveryConnectionKeepingItsRemainderAndAddsDialUps)
{
    const std::string rest = "REMAINDER\0\xff"s;
    set(CU, kConnectionsKey, "LAN", ValueType::Binary, blob(41, "http=old:1", rest));
    set(CU, kConnectionsKey, "Dial B", ValueType::Binary, blob(5, "", ""));
    set(CU, kConnectionsKey, "Note", ValueType::String, "not a connection");
    ASSERT_EQ(hive(CU).CreateKey(kDialUpProfilesKey + "\\Dial A"s), platform::SettingsStatus::Ok);
    ASSERT_EQ(hive(CU).CreateKey(kDialUpProfilesKey + "\\Dial B"s), platform::SettingsStatus::Ok);

    const std::string server = "http=localhost:8080";
    ASSERT_EQ(SetProxySetting(CU, "localhost", 8080), 0);
    EXPECT_EQ(get(CU, kInternetSettingsKey, "ProxyEnable"), dword(1));
    EXPECT_EQ(get(CU, kInternetSettingsKey, "ProxyServer"), text(server));
    EXPECT_EQ(get(CU, kInternetSettingsKey, "ProxyOverride"), text(""));
    EXPECT_EQ(get(CU, kInternetSettingsKey, "AutoConfigURL"), text(""));
    auto after = dump(CU, kConnectionsKey);
    EXPECT_EQ(after["LAN"], "3:" + ConnectionSettingsTemplate(42, server) + rest);
    EXPECT_EQ(after["Dial B"], "3:" + ConnectionSettingsTemplate(6, server));
    EXPECT_EQ(after["Dial A"], "3:" + fresh(1, server));
    EXPECT_EQ(after["Dial A"].size(), 2 + 24 + server.size() + 28);
    EXPECT_EQ(after["Note"], "1:not a connection");
    EXPECT_EQ(get(LM, kInternetSettingsKey, "ProxyEnable"), "absent");

    // The same again changes nothing, counters included.
    ASSERT_EQ(SetProxySetting(CU, "localhost", 8080), 0);
    EXPECT_EQ(dump(CU, kConnectionsKey), after);

    // Off, on both hives.
    ASSERT_EQ(SetProxySetting(nullptr, 0), 0);
    for (Hive h : {CU, LM}) {
        EXPECT_EQ(get(h, kInternetSettingsKey, "ProxyEnable"), dword(0));
        EXPECT_EQ(get(h, kInternetSettingsKey, "ProxyServer"), text(""));
    }
    EXPECT_EQ(dump(CU, kConnectionsKey)["LAN"], "3:" + ConnectionSettingsTemplate(43, "") + rest);
}

TEST_F(ProxySettingsTest, GetTakesTheServerTextApartAndNeverCutsIt)
{
    struct Case {
        std::string server; // stored with its terminator
        size_t buffer;
        int rc;
        std::string host;
        int port;
    } cases[] = {
        {"http=localhost:8080;https=other:443", 64, 0, "localhost", 8080},
        {"proxy.example:3128", 64, 0, "proxy.example", 3128},
        {"localhost", 64, 0, "localhost", 0},
        {"http=[::1]:3036", 64, 0, "[::1]", 3036},
        {"host:99999999999999", 64, 0, "host", INT_MAX},
        {"ab\0:99"s, 64, 0, "ab", 0},
        {std::string(64, 'a'), 64, 1, "", 0},
        {"http=" + std::string(65536, 'a') + ":1", 64, 1, "", 0},
        {std::string(63, 'a'), 64, 0, std::string(63, 'a'), 0},
    };
    set(CU, kInternetSettingsKey, "ProxyEnable", ValueType::Dword, dword(1).substr(2));
    for (const auto& c : cases) {
        set(CU, kInternetSettingsKey, "ProxyServer", ValueType::String, c.server + '\0');
        int enable = 0;
        int port = -1;
        char buf[64];
        ASSERT_EQ(GetProxySetting(&enable, buf, c.buffer, &port), c.rc) << c.server;
        EXPECT_EQ(std::string(buf), c.rc ? "" : c.host) << c.server;
        EXPECT_EQ(port, c.port) << c.server;
        EXPECT_EQ(enable, c.rc ? 0 : 1) << c.server;
    }
    // A switch of the wrong type is an error for the reader; the writer replaces it.
    set(CU, kInternetSettingsKey, "ProxyEnable", ValueType::String, "1\0"s);
    int enable = 0;
    char buf[64];
    EXPECT_EQ(GetProxySetting(&enable, buf, sizeof buf), 1);
    EXPECT_EQ(GetRegistryDWORD(CU, kInternetSettingsKey, "ProxyEnable", 7), 7u);
    ASSERT_EQ(SetProxySetting(CU, "h", 1), 0);
    EXPECT_EQ(get(CU, kInternetSettingsKey, "ProxyEnable"), dword(1));
}

TEST_F(ProxySettingsTest, NoChangePolicyMakesTheMachineSettingsApply)
{
    ASSERT_EQ(SetProxySetting(CU, "user", 1), 0);
    ASSERT_EQ(SetProxySetting(LM, "machine", 2), 0);
    struct Case {
        bool flag;
        uint32_t tab, perUser;
        const char* host;
    } cases[] = {{true, 1, 0, "machine"}, {false, 0, 1, "user"}};
    for (const auto& c : cases) {
        ASSERT_EQ(SetNoChange(c.flag), 0);
        EXPECT_EQ(get(CU, kControlPanelPolicyKey, "ConnectionsTab"), dword(c.tab));
        EXPECT_EQ(get(LM, kPerUserPolicyKey, "ProxySettingsPerUser"), dword(c.perUser));
        int enable = 0;
        int port = 0;
        char buf[64];
        ASSERT_EQ(GetProxySetting(&enable, buf, sizeof buf, &port), 0);
        EXPECT_STREQ(buf, c.host);
    }
    // Both hives in one file.
    SetHivePath(CU, dir.file("machine.db"));
    EXPECT_EQ(SetProxySetting("both", 3), 0);
    EXPECT_EQ(get(LM, kInternetSettingsKey, "ProxyServer"), text("http=both:3"));
    EXPECT_EQ(StoreProxySetting() | RestoreProxySetting(), 0);
}

TEST_F(ProxySettingsTest, RestoreGivesBackEveryValueAndTheDesktopAsTheyWere)
{
    set(CU, kInternetSettingsKey, "ProxyEnable", ValueType::Dword, "\0\0\0\0"s);
    set(CU, kInternetSettingsKey, "ProxyServer", ValueType::String, "keep:1"); // no terminator
    set(CU, kInternetSettingsKey, "ProxyOverride", ValueType::ExpandString, std::string(300, 'o') + '\0');
    set(CU, kConnectionsKey, "LAN", ValueType::Binary, blob(3, "http=x:1", std::string(300, '\x01')));
    set(CU, kConnectionsKey, "Dial A", ValueType::Binary, blob(9, "http=dial:9", ""));
    set(CU, kConnectionsKey, "Gone later", ValueType::Binary, "x");
    set(LM, kConnectionsKey, "LAN", ValueType::Binary, "\x3c");
    ASSERT_EQ(hive(CU).CreateKey(kDialUpProfilesKey + "\\Dial A"s), platform::SettingsStatus::Ok);
    gsettings("set org.gnome.system.proxy.http host old.example");
    dir.writeBytes("config/zpf/proxy.sh", "mine\n");

    // A value dropped between two backups must not come back from the older one.
    ASSERT_EQ(StoreProxySetting(), 0);
    ASSERT_EQ(hive(CU).DeleteValue(kConnectionsKey, "Gone later"), platform::SettingsStatus::Ok);
    const auto user = dump(CU, kInternetSettingsKey);
    auto userConnections = dump(CU, kConnectionsKey);
    const auto machine = dump(LM, kInternetSettingsKey);
    auto machineConnections = dump(LM, kConnectionsKey);
    ASSERT_EQ(StoreProxySetting(), 0);

    ASSERT_EQ(SetProxySetting("127.0.0.1", 3036), 0);
    ASSERT_EQ(SetNoChange(true), 0);
    set(CU, kConnectionsKey, "New", ValueType::Binary, "n");
    EXPECT_EQ(gsettings("get org.gnome.system.proxy mode"), "'manual'\n");
    EXPECT_NE(dir.readBytes("config/zpf/proxy.sh"), "mine\n");

    ASSERT_EQ(RestoreProxySetting(), 0);
    EXPECT_EQ(dump(CU, kInternetSettingsKey), user);
    EXPECT_EQ(dump(LM, kInternetSettingsKey), machine);
    // Every dial-up connection comes back as a direct one, in both hives.
    const std::string direct = "3:" + ConnectionSettingsTemplate(0, "") + std::string(32, '\0');
    userConnections["Dial A"] = machineConnections["Dial A"] = direct;
    EXPECT_EQ(dump(LM, kConnectionsKey), machineConnections);
    EXPECT_EQ(dump(CU, kConnectionsKey), userConnections);
    EXPECT_EQ(get(LM, kPerUserPolicyKey, "ProxySettingsPerUser"), "absent");
    EXPECT_EQ(gsettings("get org.gnome.system.proxy.http host"), "'old.example'\n");
    EXPECT_EQ(gsettings("get org.gnome.system.proxy mode"), "'none'\n");
    // Not set before, so not set now: the key file names no mode.
    EXPECT_EQ(dir.readBytes("config/glib-2.0/settings/keyfile").find("mode="), std::string::npos);
    EXPECT_EQ(dir.readBytes("config/zpf/proxy.sh"), "mine\n");

    ASSERT_EQ(DeleteStoreProxySetting(), 0);
    EXPECT_EQ(RestoreProxySetting(), 1);
    EXPECT_EQ(dump(CU, kInternetSettingsKey), user);
}

TEST_F(ProxySettingsTest, DeleteAndCopyOfSingleValues)
{
    ASSERT_EQ(SetProxySetting(CU, "h", 1), 0);
    set(CU, kInternetSettingsKey, "ProxySettingsPerUser", ValueType::Dword, "\x05\0\0\0"s);
    set(CU, kInternetSettingsKey, "Other", ValueType::String, "stays\0"s);
    EXPECT_EQ(CopyRegistryDWORD(CU, kInternetSettingsKey, "ProxySettingsPerUser", LM, "K", 9), 5u);
    EXPECT_EQ(CopyRegistryDWORD(CU, kInternetSettingsKey, "Missing", LM, "K", 9), 9u);
    EXPECT_EQ(get(LM, "K", "Missing"), dword(9));
    ASSERT_EQ(DeleteProxySetting(CU, kInternetSettingsKey), 0);
    EXPECT_EQ(dump(CU, kInternetSettingsKey), (std::map<std::string, std::string>{{"Other", text("stays")}}));
    EXPECT_EQ(DeleteProxySetting(CU, kInternetSettingsKey), 0); // nothing left to delete
}

TEST_F(ProxySettingsTest, BadConnectionValuesStartAfresh)
{
    const std::string head = "\x3c\0\0\0\x07\0\0\0\x03\0\0\0"s;
    struct Case {
        const char* name;
        std::string bytes;
        uint32_t counter;
    } cases[] = {
        {"empty", "", 1},
        {"short", "\x3c\0\0"s, 1},
        {"header only", head, 8},
        {"length past the end", head + "\xe8\x03\0\0abc"s, 8},
        {"third length past the end", head + "\0\0\0\0\0\0\0\0\xff\xff\xff\x7f"s, 8},
    };
    for (const auto& c : cases)
        set(CU, kConnectionsKey, c.name, ValueType::Binary, c.bytes);
    ASSERT_EQ(SetProxySetting(CU, "p", 1), 0);
    for (const auto& c : cases)
        EXPECT_EQ(get(CU, kConnectionsKey, c.name), "3:" + fresh(c.counter, "http=p:1")) << c.name;
}

TEST_F(ProxySettingsTest, RefusedCallsLeaveTheHiveAsItWas)
{
    struct Case {
        std::string host;
        int port;
    } cases[] = {
        {"bad;host", 80}, {"a b", 80},   {"[::1", 80}, {std::string(256, 'a'), 80}, {std::string(65536, 'a'), 80},
        {"ok", 0},        {"ok", 65536}, {"ok", -1}};
    for (const auto& c : cases) {
        EXPECT_EQ(SetProxySetting(CU, c.host.c_str(), c.port), 1) << c.host;
        EXPECT_EQ(get(CU, kInternetSettingsKey, "ProxyEnable"), "absent") << c.host;
    }

    // A rebuilt value the store cannot hold fails the whole call; nothing is cut.
    const std::string big = ConnectionSettingsTemplate(5, "") + std::string(platform::kMaxValueSize - 24, 'r');
    set(CU, kConnectionsKey, "LAN", ValueType::Binary, big);
    EXPECT_EQ(SetProxySetting(CU, "host", 1), 1);
    EXPECT_EQ(get(CU, kInternetSettingsKey, "ProxyEnable"), "absent");
    EXPECT_EQ(get(CU, kConnectionsKey, "LAN"), "3:" + big);
    EXPECT_EQ(StoreProxySetting(), 0); // values of any size are backed up whole
    EXPECT_EQ(get(LM, kProxyBackupUserKey + "\\Connections"s, "LAN"), "3:" + big);

    // No restore without a backup.
    ASSERT_EQ(DeleteStoreProxySetting(), 0);
    EXPECT_EQ(RestoreProxySetting(), 1);
    EXPECT_EQ(get(CU, kConnectionsKey, "LAN"), "3:" + big);

    // A hive that cannot be opened.
    dir.writeBytes("file", "x");
    SetHivePath(CU, dir.file("file/user.db"));
    int enable = 0;
    char buf[16];
    EXPECT_EQ(SetProxySetting(CU, "host", 1), 1);
    EXPECT_EQ(GetProxySetting(&enable, buf, sizeof buf), 1);
    EXPECT_EQ(StoreProxySetting(), 1);
    EXPECT_EQ(SetConnectionsTab(1), 1);
    EXPECT_EQ(get(LM, kProxyBackupKey, "BackupComplete"), "absent");
}

TEST_F(ProxySettingsTest, WithoutTheDesktopSchemaOnlyTheShellFileFollows)
{
    zpftest::ScopedEnv noSchemas("XDG_DATA_DIRS", dir.file("empty"));
    ASSERT_EQ(SetProxySetting(CU, "host", 1), 0);
    EXPECT_NE(dir.readBytes("config/zpf/proxy.sh").find("http://host:1/"), std::string::npos);
    ASSERT_EQ(StoreProxySetting(), 0);
    ASSERT_EQ(SetProxySetting(CU, nullptr, 0), 0);
    EXPECT_FALSE(platform::PathExists(dir.file("config/zpf/proxy.sh")));
    ASSERT_EQ(RestoreProxySetting(), 0);
    EXPECT_NE(dir.readBytes("config/zpf/proxy.sh").find("http://host:1/"), std::string::npos);
}

TEST_F(ProxySettingsTest, AReadOnlyHiveIsAFailure)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes read-only files";
    ASSERT_EQ(SetProxySetting(CU, "host", 1), 0);
    hives[1] = platform::StoreSettingsHive(); // SQLite would lend the process's writable handle
    ASSERT_EQ(::chmod(dir.file("user.db").c_str(), 0400), 0);
    EXPECT_EQ(SetProxySetting(CU, "other", 2), 1);
    ASSERT_EQ(hives[1].Open(dir.file("user.db")), platform::SettingsStatus::Ok);
    EXPECT_EQ(get(CU, kInternetSettingsKey, "ProxyServer"), text("http=host:1"));
}
