#include "platform/SettingsStore.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "support/TempDir.h"

using platform::SettingsAccess;
using platform::SettingsKey;
using platform::SettingsStatus;
using platform::SettingsStore;
using platform::SettingsValue;
using platform::ValueType;

namespace platform {
void PrintTo(SettingsStatus s, std::ostream* os) { *os << SettingsStatusText(s); }
} // namespace platform

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    SettingsKey openKey(SettingsStore& store, const char* path, SettingsAccess access = SettingsAccess::ReadWrite)
    {
        SettingsKey key;
        EXPECT_EQ(store.CreateKey(path, access, &key), SettingsStatus::Ok) << path;
        return key;
    }

    zpftest::TempDir m_dir;
    std::string m_path = m_dir.file("registry.db");
};

// Waits for one byte on fd, at most timeoutMs. Returns false on time-out or end of file.
bool waitByte(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1)
        return false;
    char c;
    return ::read(fd, &c, 1) == 1;
}

int waitChild(pid_t pid)
{
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST_F(SettingsStoreTest, ValuesOfEachTypeSurviveReopen)
{
    const std::string binary("\x3c\x00\x00\x00\xff\x01", 6);
    {
        SettingsStore store;
        ASSERT_EQ(store.Open(m_path), SettingsStatus::Ok);
        SettingsKey key = openKey(store, "Software\\Orvane\\Tessivar5\\Internet Settings");
        EXPECT_EQ(key.SetString("ProxyServer", "http=localhost:8080"), SettingsStatus::Ok);
        EXPECT_EQ(key.SetDword("ProxyEnable", 0xdeadbeef), SettingsStatus::Ok);
        EXPECT_EQ(key.SetBinary("LAN", binary), SettingsStatus::Ok);
        EXPECT_EQ(key.SetBinary("Empty", ""), SettingsStatus::Ok);
        EXPECT_EQ(key.SetValue("Text without terminator", ValueType::String, "abc"), SettingsStatus::Ok);
    }
    SettingsStore store;
    ASSERT_EQ(store.Open(m_path), SettingsStatus::Ok);
    SettingsKey key;
    ASSERT_EQ(store.OpenKey("Software\\Orvane\\Tessivar5\\Internet Settings", SettingsAccess::Read, &key),
              SettingsStatus::Ok);
    // As stored: a text's terminator is part of its data, a number is little-endian.
    const std::pair<const char*, std::pair<ValueType, std::string>> stored[] = {
        {"ProxyServer", {ValueType::String, std::string("http=localhost:8080\0", 20)}},
        {"ProxyEnable", {ValueType::Dword, "\xef\xbe\xad\xde"}},
        {"LAN", {ValueType::Binary, binary}},
        {"Empty", {ValueType::Binary, ""}},
    };
    for (const auto& [name, expected] : stored) {
        std::pair<ValueType, std::string> got;
        EXPECT_EQ(key.QueryValue(name, &got.first, &got.second), SettingsStatus::Ok) << name;
        EXPECT_EQ(got, expected) << name;
    }
    std::string text;
    EXPECT_EQ(key.QueryString("ProxyServer", &text), SettingsStatus::Ok);
    EXPECT_EQ(text, "http=localhost:8080");
    EXPECT_EQ(key.QueryString("Text without terminator", &text), SettingsStatus::Ok);
    EXPECT_EQ(text, "abc");
    uint32_t dword = 0;
    EXPECT_EQ(key.QueryDword("ProxyEnable", &dword), SettingsStatus::Ok);
    EXPECT_EQ(dword, 0xdeadbeefu);
    // Typed reads refuse the wrong type rather than guess.
    EXPECT_EQ(key.QueryDword("LAN", &dword), SettingsStatus::InvalidArgument);
    EXPECT_EQ(key.QueryString("ProxyEnable", &text), SettingsStatus::InvalidArgument);
    ValueType type;
    std::string data;
    EXPECT_EQ(key.QueryValue("Missing", &type, &data), SettingsStatus::NotFound);
}

TEST_F(SettingsStoreTest, HandlesToADeletedKeySeeNothing)
{
    SettingsStore store;
    ASSERT_EQ(store.Open(m_path), SettingsStatus::Ok);
    SettingsKey parent = openKey(store, "Backup");
    SettingsKey child = openKey(store, "Backup\\current_user");
    ASSERT_EQ(parent.SetDword("ProxySettingsPerUser", 1), SettingsStatus::Ok);
    ASSERT_EQ(child.SetString("ProxyServer", "x"), SettingsStatus::Ok);

    EXPECT_EQ(store.DeleteKey("Backup\\current_user"), SettingsStatus::Ok);
    EXPECT_EQ(store.DeleteKey("Backup"), SettingsStatus::Ok);

    // A handle to a deleted key sees nothing and cannot write.
    uint32_t v;
    EXPECT_EQ(parent.QueryDword("ProxySettingsPerUser", &v), SettingsStatus::NotFound);
    EXPECT_EQ(parent.SetDword("ProxySettingsPerUser", 2), SettingsStatus::NotFound);
    EXPECT_EQ(parent.Flush(), SettingsStatus::NotFound);
    // Recreated, it starts empty.
    SettingsKey again = openKey(store, "Backup");
    EXPECT_EQ(again.QueryDword("ProxySettingsPerUser", &v), SettingsStatus::NotFound);
    EXPECT_EQ(again.Flush(), SettingsStatus::Ok);
}

TEST_F(SettingsStoreTest, BadUseGivesClearStatuses)
{
    SettingsStore store;
    SettingsKey key;
    EXPECT_EQ(store.CreateKey("a", SettingsAccess::Read, &key), SettingsStatus::NotOpen);
    EXPECT_EQ(key.SetDword("x", 1), SettingsStatus::NotOpen);
    EXPECT_EQ(store.Open(""), SettingsStatus::InvalidArgument);
    ASSERT_EQ(store.Open(m_path), SettingsStatus::Ok);

    SettingsKey reader = openKey(store, "Policies", SettingsAccess::Read);
    EXPECT_EQ(reader.SetDword("ConnectionsTab", 1), SettingsStatus::AccessDenied);
    EXPECT_EQ(reader.DeleteValue("ConnectionsTab"), SettingsStatus::AccessDenied);

    SettingsKey writer = openKey(store, "Policies");
    EXPECT_EQ(store.CreateKey(std::string("a\0b", 3), SettingsAccess::Read, &key), SettingsStatus::InvalidArgument);
    EXPECT_EQ(writer.SetBinary("big", std::string(platform::kMaxValueSize + 1, 'x')), SettingsStatus::InvalidArgument);
    EXPECT_EQ(writer.SetBinary("ok", std::string(platform::kMaxValueSize, 'x')), SettingsStatus::Ok);
    EXPECT_EQ(writer.SetDword(std::string("n\0m", 3), 1), SettingsStatus::InvalidArgument);

    EXPECT_EQ(store.Commit(), SettingsStatus::InvalidArgument);
    EXPECT_EQ(store.Begin(), SettingsStatus::Ok);
    EXPECT_EQ(store.Begin(), SettingsStatus::InvalidArgument);
    EXPECT_EQ(store.Rollback(), SettingsStatus::Ok);
}

TEST_F(SettingsStoreTest, TransactionsCommitOrLeaveNothing)
{
    SettingsStore store;
    ASSERT_EQ(store.Open(m_path), SettingsStatus::Ok);
    SettingsKey key = openKey(store, "Settings");

    ASSERT_EQ(store.Begin(), SettingsStatus::Ok);
    key.SetDword("a", 1);
    openKey(store, "Settings\\Sub");
    ASSERT_EQ(store.Rollback(), SettingsStatus::Ok);
    uint32_t v;
    EXPECT_EQ(key.QueryDword("a", &v), SettingsStatus::NotFound);
    std::string sub;
    EXPECT_EQ(key.EnumSubkey(0, &sub), SettingsStatus::NotFound);

    ASSERT_EQ(store.Begin(), SettingsStatus::Ok);
    key.SetDword("a", 1);
    key.SetDword("b", 2);
    ASSERT_EQ(store.Commit(), SettingsStatus::Ok);

    // Closing a store in the middle of a transaction throws its writes away, even while
    // keys opened from it live on.
    ASSERT_EQ(store.Begin(), SettingsStatus::Ok);
    key.SetDword("c", 3);
    store.Close();
    EXPECT_EQ(key.QueryDword("c", &v), SettingsStatus::NotFound);
    EXPECT_EQ(key.QueryDword("b", &v), SettingsStatus::Ok);
    EXPECT_EQ(v, 2u);
}

TEST_F(SettingsStoreTest, NewHiveIsPrivateToItsOwner)
{
    const std::string nested = m_dir.path() + "home/.config/zpf/registry.db";
    SettingsStore store;
    ASSERT_EQ(store.Open(nested), SettingsStatus::Ok);
    struct stat st;
    ASSERT_EQ(::stat(nested.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((m_dir.path() + "home/.config/zpf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(SettingsStoreTest, DefaultPathsFollowTheEnvironment)
{
    zpftest::ScopedEnv machine("ZPF_MACHINE_HIVE"), user("ZPF_USER_HIVE"), xdg("XDG_CONFIG_HOME"), home("HOME");
    using platform::Hive;
    struct Row {
        const char* name; // set before the row
        const char* value;
        Hive hive;
        const char* expected;
    } rows[] = {
        {"HOME", "/home/tester", Hive::LocalMachine, "/opt/zpf/registry.db"},
        {"HOME", "/home/tester", Hive::CurrentUser, "/home/tester/.config/zpf/registry.db"},
        {"XDG_CONFIG_HOME", "relative/ignored", Hive::CurrentUser, "/home/tester/.config/zpf/registry.db"},
        {"XDG_CONFIG_HOME", "/xdg", Hive::CurrentUser, "/xdg/zpf/registry.db"},
        {"ZPF_USER_HIVE", "/tmp/u.db", Hive::CurrentUser, "/tmp/u.db"},
        {"ZPF_MACHINE_HIVE", "/tmp/m.db", Hive::LocalMachine, "/tmp/m.db"},
    };
    for (const auto& r : rows) {
        ::setenv(r.name, r.value, 1);
        EXPECT_EQ(platform::DefaultHivePath(r.hive, "/opt/zpf"), r.expected) << r.name << "=" << r.value;
    }
}

// A writer that finds the hive locked waits for the busy time-out, then fails clearly;
// once the lock is gone its write goes through and the other process's write is kept.
TEST_F(SettingsStoreTest, HiveLockedByAnotherProcessFailsAfterTimeout)
{
    {
        SettingsStore setup;
        ASSERT_EQ(setup.Open(m_path), SettingsStatus::Ok);
        openKey(setup, "Shared");
    }
    int locked[2];
    int release[2];
    ASSERT_EQ(::pipe(locked), 0);
    ASSERT_EQ(::pipe(release), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        SettingsStore store;
        SettingsKey key;
        int rc = 0;
        if (store.Open(m_path) != SettingsStatus::Ok || store.Begin() != SettingsStatus::Ok ||
            store.CreateKey("Shared", SettingsAccess::ReadWrite, &key) != SettingsStatus::Ok ||
            key.SetString("holder", "child") != SettingsStatus::Ok)
            rc = 1;
        (void)!::write(locked[1], "L", 1);
        waitByte(release[0], 20000);
        if (store.Commit() != SettingsStatus::Ok)
            rc = 2;
        ::_exit(rc);
    }
    ASSERT_TRUE(waitByte(locked[0], 20000));

    SettingsStore store;
    ASSERT_EQ(store.Open(m_path, 200), SettingsStatus::Ok); // reading needs no lock
    SettingsKey key = openKey(store, "Shared");
    EXPECT_EQ(key.SetString("waiter", "parent"), SettingsStatus::Busy);
    EXPECT_EQ(store.Begin(), SettingsStatus::Busy);

    ASSERT_EQ(::write(release[1], "R", 1), 1);
    EXPECT_EQ(waitChild(pid), 0);
    EXPECT_EQ(key.SetString("waiter", "parent"), SettingsStatus::Ok);
    std::string text;
    EXPECT_EQ(key.QueryString("holder", &text), SettingsStatus::Ok);
    EXPECT_EQ(text, "child");
    for (int fd : {locked[0], locked[1], release[0], release[1]})
        ::close(fd);
}

// Two processes counting in one value and adding values of their own at the same time:
// every increment and every value must be there at the end.
TEST_F(SettingsStoreTest, TwoWriterProcessesLoseNoWrite)
{
    constexpr int kRounds = 60;
    {
        SettingsStore setup;
        ASSERT_EQ(setup.Open(m_path), SettingsStatus::Ok);
    }
    pid_t pids[2];
    for (int child = 0; child < 2; ++child) {
        pids[child] = ::fork();
        ASSERT_GE(pids[child], 0);
        if (pids[child] == 0) {
            SettingsStore store;
            if (store.Open(m_path, 20000) != SettingsStatus::Ok)
                ::_exit(1);
            for (int i = 0; i < kRounds; ++i) {
                SettingsKey key;
                uint32_t counter = 0;
                if (store.Begin() != SettingsStatus::Ok ||
                    store.CreateKey("Software\\Counter", SettingsAccess::ReadWrite, &key) != SettingsStatus::Ok)
                    ::_exit(2);
                SettingsStatus s = key.QueryDword("count", &counter);
                if (s != SettingsStatus::Ok && s != SettingsStatus::NotFound)
                    ::_exit(3);
                if (key.SetDword("count", counter + 1) != SettingsStatus::Ok || store.Commit() != SettingsStatus::Ok)
                    ::_exit(4);
                // A single write outside any transaction of ours.
                std::string name = "w" + std::to_string(child) + "-" + std::to_string(i);
                if (key.SetString(name, name) != SettingsStatus::Ok)
                    ::_exit(5);
            }
            ::_exit(0);
        }
    }
    EXPECT_EQ(waitChild(pids[0]), 0);
    EXPECT_EQ(waitChild(pids[1]), 0);

    SettingsStore store;
    ASSERT_EQ(store.Open(m_path), SettingsStatus::Ok);
    SettingsKey key;
    ASSERT_EQ(store.OpenKey("software\\counter", SettingsAccess::Read, &key), SettingsStatus::Ok);
    uint32_t counter = 0;
    EXPECT_EQ(key.QueryDword("count", &counter), SettingsStatus::Ok);
    EXPECT_EQ(counter, 2u * kRounds);
    SettingsValue last;
    EXPECT_EQ(key.EnumValue(2 * kRounds, &last), SettingsStatus::Ok); // the counter and every name
    EXPECT_EQ(key.EnumValue(2 * kRounds + 1, &last), SettingsStatus::NotFound);
}
