// zpfctl's commands, run as built on temporary program
// directories (or on the one the build produces).
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "cipher/CDes.h"
#include "common/Edition.h"
#include "common/RegistryHive.h"
#include "config/ConfigrationFile.h"
#include "platform/FileSystem.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/TempProgramDir.h"

using zpftest::Crlf;
using zpftest::ProgramResult;
using zpftest::RunZpfctl;
using zpftest::TempProgramDir;

namespace {

// Runs zpfctl inside dir with the arguments (no --dir: relative names are the shell's).
ProgramResult cipherCtl(const TempProgramDir& dir, const std::string& args)
{
    return zpftest::RunProgram("cd '" + dir.path() + "' && '" + ZPF_BIN_DIR + "/zpfctl' " + args);
}

std::string padded(const std::string& text)
{
    return text + std::string((CDes::kUnit - text.size() % CDes::kUnit) % CDes::kUnit, '\0');
}

ProgramResult runWithInput(const TempProgramDir& dir, const std::string& input, const std::string& args)
{
    return zpftest::RunProgram("printf '" + input + "' | ZPF_MACHINE_HIVE='" + dir.file("registry.db") + "' '" +
                               ZPF_BIN_DIR + "/zpfctl' --dir '" + dir.path() + "' password " + args);
}

class BrowserProxyCommandTest : public ::testing::Test {
protected:
    zpftest::TempDir dir;
    std::string env()
    {
        return "GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME='" + dir.file("config") + "' HOME='" + dir.file("home") +
               "' ZPF_MACHINE_HIVE='" + dir.file("machine.db") + "' ZPF_USER_HIVE='" + dir.file("user.db") + "' ";
    }
    ProgramResult zpfctl(const std::string& args)
    {
        return zpftest::RunProgram(env() + "'" + ZPF_BIN_DIR + "/zpfctl' --dir '" + dir.path() + "' browser-proxy " +
                                   args);
    }
    std::string gsettings(const std::string& args) { return zpftest::RunProgram(env() + "gsettings " + args).out; }
};

} // namespace

// ---- zpfctl categories and zpfctl lists: Shift_JIS data shown in UTF-8. ----

TEST(CategoriesCommandTest, ListsTheShippedSampleWithReadableNames)
{
    TempProgramDir dir;
    std::string sample = ZPF_TEST_DATA_DIR "/../../data/category2.cnf.txt";
    ASSERT_EQ(RunZpfctl(dir.path(), "cipher encode '" + sample + "' " + dir.file("category2.cnf")).status, 0);
    auto r = RunZpfctl(dir.path(), "categories");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("0     101    adult.fdb            1       no    アダルト・ポルノ\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("7     108    chat.fdb             0       no    ﾁｬｯﾄ・掲示板\n"), std::string::npos);

    TempProgramDir empty;
    r = RunZpfctl(empty.path(), "categories");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("CategoryFile Cipher Open Error"), std::string::npos);
}

TEST(CategoriesCommandTest, ListsShowsEachGroupsTexts)
{
    TempProgramDir dir;
    // "kanji" twice: the Shift_JIS phrase and its EUC-JP variant line, then a URL list.
    dir.writeBytes("phrase.fdb", "\r\n\x8A\xBF\x8E\x9A\r\n\xB4\xC1\xBB\xFA\r\ncasino\r\n");
    dir.writeBytes("nofilter.fdb", "\r\nhttp://ok.example/\r\n");
    auto r = RunZpfctl(dir.path(), "lists --group ''");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "[(default)]\n-- phrase.fdb\n漢字\ncasino\n-- nofilter.fdb\nhttp://ok.example/\n-- passurl.fdb\n");
    EXPECT_NE(r.err.find("passurl.fdb is missing"), std::string::npos);
    EXPECT_EQ(RunZpfctl(dir.path(), "lists --group nobody").status, 1);
    EXPECT_EQ(RunZpfctl(dir.path(), "lists extra").status, 2);
}

// ---- zpfctl check-ip on a program directory. ----

TEST(CheckIpCommandTest, RestrictionAndPolicy)
{
    TempProgramDir dir;
    dir.writeBytes("group.cnf", Crlf("kids\n"));
    dir.writeBytes("iplist.cnf", Crlf("10.0.0.0-10.0.0.255\n10.0.0.5-10.0.0.9\n"));
    dir.writeBytes("ippass.cnf", Crlf("10.0.0.0-10.0.0.127;kids;1\n10.0.0.200\n"));
    struct Row {
        const char* address;
        int status;
        const char* out; // network edition
    } rows[] = {
        {"10.0.0.50", 0,
         "10.0.0.50: admitted by 10.0.0.0-10.0.0.255\n"
         "policy: 10.0.0.0-10.0.0.127, filtered, group kids, authentication mode 1\n"},
        {"10.0.0.200", 0, "10.0.0.200: admitted by 10.0.0.0-10.0.0.255\npolicy: 10.0.0.200, not filtered\n"},
        {"8.8.8.8", 1, "8.8.8.8: refused (no range of the restriction list holds it)\npolicy: none\n"},
    };
    for (const auto& r : rows) {
        auto res = RunZpfctl(dir.path(), std::string("check-ip ") + r.address);
        if (IsStandaloneEdition()) {
            EXPECT_EQ(res.status, 0);
            EXPECT_NE(res.out.find("admitted (standalone edition"), std::string::npos) << res.out;
        } else {
            EXPECT_EQ(res.status, r.status) << r.address;
            EXPECT_EQ(res.out, r.out);
        }
    }
    for (const char* bad : {"10.0.0", "10.0.0.256", "10.0.0.1-10.0.0.2", "a.b.c.d", "1.2.3.4.5"})
        EXPECT_EQ(RunZpfctl(dir.path(), std::string("check-ip '") + bad + "'").status, 2) << bad;
}

// ---- zpfctl config on fresh and configured program directories. ----

TEST(ConfigCommandTest, EmptyDirectoryPrintsDefaultsAndFails)
{
    TempProgramDir dir;
    auto r = RunZpfctl(dir.path(), "config");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ConfigrationFile Open Error\n");
    EXPECT_EQ(r.out.rfind("Filtering=1\nPort=3036\nProxy=\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nSleepTime=20\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nBlock=1\n"), std::string::npos);
}

TEST(ConfigCommandTest, EncipheredConfigurationShowsStoredValues)
{
    TempProgramDir dir;
    dir.writeBytes("plain", "Port=8088\nProxy=up.example\nProxyPort=3128\nAccessLog=1\n");
    ASSERT_EQ(RunZpfctl(dir.path(), "cipher encode --marker " + dir.file("plain") + " " + dir.file("zpf.cnf")).status,
              0);
    // A complete directory also holds the category list and the three list files.
    dir.writeBytes("categories", "1|a|b|101|Adult|adult.fdb|r\n");
    ASSERT_EQ(RunZpfctl(dir.path(), "cipher encode " + dir.file("categories") + " " + dir.file("category2.cnf")).status,
              0);
    for (const char* list : {"phrase.fdb", "nofilter.fdb", "passurl.fdb"})
        dir.writeBytes(list, "\r\n");
    for (const char* f : {"time.cnf", "group.cnf", "iplist.cnf", "ippass.cnf", "passwd"})
        dir.writeBytes(f, "");
    auto r = RunZpfctl(dir.path(), "config");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Port=8088\nProxy=up.example\nProxyPort=3128\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("HTTPSProxy=up.example\nHTTPSProxyPort=3128\n"), std::string::npos);
    EXPECT_NE(r.out.find("AccessLog=1\n"), std::string::npos);
    EXPECT_NE(r.out.find("\n#Adult\nadult.fdb=1\nBlock=1\n"), std::string::npos);
}

TEST(ConfigCommandTest, ConfigurationEncipheredWithAnotherKeyIsReported)
{
    TempProgramDir dir;
    CDes des;
    des.Setting(1, 4, "0123456789ABCDEF", CDes::kIV, CDes::kUnit, 59);
    ASSERT_EQ(des.OpenWriteFile(dir.file("zpf.cnf").c_str()), 0);
    des.WriteString("PLXharbor\r\n");
    des.WriteData("Port=8088\n", 10);
    des.CloseWriteFile(1);
    auto r = RunZpfctl(dir.path(), "config");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(dir.file("zpf.cnf") + ": not a configuration file (control bytes"), std::string::npos)
        << r.err;
}

TEST(ConfigCommandTest, BadArgumentsGiveUsage)
{
    TempProgramDir dir;
    EXPECT_EQ(RunZpfctl(dir.path(), "config extra").status, 2);
    EXPECT_EQ(RunZpfctl(dir.path(), "no-such-command").status, 2);
    auto r = zpftest::RunProgram(std::string("'") + ZPF_BIN_DIR + "/zpfctl'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: zpfctl"), std::string::npos);
}

// ---- zpfctl keys, lookup and scan on the program directory the build produces. ----

TEST(FilterDbCommandsTest, LookupNamesTheSampleCategory)
{
    auto r = RunZpfctl(ZPF_BIN_DIR, "lookup http://adult.example/index.html");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("blocked categories hit 1 [101 アダルト・ポルノ]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("extension html"), std::string::npos);
    auto clean = RunZpfctl(ZPF_BIN_DIR, "lookup http://www.example.org/");
    EXPECT_NE(clean.out.find("blocked categories hit 0 []"), std::string::npos) << clean.out;
    EXPECT_EQ(RunZpfctl(ZPF_BIN_DIR, "lookup --group nobody http://x/").status, 1);
    EXPECT_EQ(RunZpfctl(ZPF_BIN_DIR, "lookup").status, 2);
}

TEST(FilterDbCommandsTest, ScanBlanksReplacePhrasesAndBlocksBlockPhrases)
{
    zpftest::TempProgramDir tmp;
    tmp.writeBytes("page.html", "<p>hello zpf-sample-blank world</p>");
    auto r = RunZpfctl(ZPF_BIN_DIR, "scan " + tmp.file("page.html"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("replace match: phrase \"zpf-sample-blank\" key 101"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("<p>hello                  world</p>"), std::string::npos) << r.out;

    tmp.writeBytes("bad.html", std::string(5000, 'x') + " zpf-sample-adult-phrase");
    auto b = RunZpfctl(ZPF_BIN_DIR, "scan " + tmp.file("bad.html"));
    EXPECT_NE(b.out.find("BLOCKED"), std::string::npos) << b.out;
    EXPECT_NE(b.out.find("ends at byte 5023"), std::string::npos) << b.out;
}

TEST(FilterDbCommandsTest, KeysPrintsKindsAndExpansions)
{
    auto r = RunZpfctl(ZPF_BIN_DIR, "keys gamble.fdb");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("plain\tgamble.example/\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("brackets\tbet\twager\n"), std::string::npos) << r.out;
    zpftest::TempProgramDir tmp;
    tmp.writeBytes("list.fdb", "\r\nzero.example/\r\n%kids%\r\n{a,b}{c}\r\n");
    auto s = RunZpfctl(tmp.path(), "keys --plain --group kids list.fdb");
    EXPECT_EQ(s.out, "braces\tac\tbc\n");
    EXPECT_EQ(RunZpfctl(tmp.path(), "keys missing.fdb").status, 1);
}

// ---- zpfctl schedule on a program directory. ----

TEST(ScheduleCommandTest, PrintsEachGroupsWeek)
{
    TempProgramDir dir;
    dir.writeBytes("group.cnf", Crlf("kids\n"));
    // Without groups (standalone edition) the kids section is unknown and its lines
    // stay with the default group, so they must not change what is checked there.
    dir.writeBytes("time.cnf", Crlf("off;\non;mon-tue;09:00-12:00,13:00-17:30\ncut;sun;\n%kids%\noff;\non;fri;\n"));
    auto r = RunZpfctl(dir.path(), "schedule");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("now: ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("group (default): state now "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(", default off\n  mon: 09:00-12:00 on 13:00-17:30 on\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  sun: 00:00-24:00 cut\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  wed: -\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(IsStandaloneEdition() ? "  fri: 00:00-24:00 on\n" : "  fri: -\n"), std::string::npos) << r.out;
    // Groups exist only in the network edition.
    EXPECT_EQ(r.out.find("group kids: ") != std::string::npos, !IsStandaloneEdition()) << r.out;

    auto one = RunZpfctl(dir.path(), "schedule --group ''");
    EXPECT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out.find("group kids"), std::string::npos);
    EXPECT_EQ(RunZpfctl(dir.path(), "schedule --group nosuch").status, 1);
    EXPECT_EQ(RunZpfctl(dir.path(), "schedule extra").status, 2);
}

TEST(ScheduleCommandTest, MissingFileMeansOnAllWeek)
{
    TempProgramDir dir;
    auto r = RunZpfctl(dir.path(), "schedule");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("time.cnf cannot be read"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("group (default): state now on, default on\n"), std::string::npos) << r.out;
}

// ---- zpfctl publish, update and last-update: what they refuse before any download. ----

TEST(UpdateCommandsTest, PublishRefusesIncompleteSources)
{
    const struct {
        const char* list;
        const char* file;
        const char* error;
    } cases[] = {
        {nullptr, nullptr, "no category2.cnf"},
        {"1|A|0|101|a|a.fdb|http://h/a.fdb\n", nullptr, "no target.fdb"},
        {"1|A|0|101|a\n", nullptr, "without a key file"},
        {"1|A|0|101|a|../a.fdb|http://h/a.fdb\n", nullptr, "outside the folder"},
        {"1|A|0|101|a|a.fdb|http://h/a.fdb\n", "target.fdb", "no nofilup.fdb"},
    };
    for (const auto& c : cases) {
        TempProgramDir src, out;
        if (c.list)
            src.writeBytes("category2.cnf.txt", c.list);
        if (c.file)
            src.writeBytes(c.file, "x.example/\n");
        const auto r = RunZpfctl(src.path(), "publish '" + src.path() + "' '" + out.file("www") + "'");
        EXPECT_EQ(r.status, 1) << c.error;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    }
}

TEST(UpdateCommandsTest, UpdateRefusesBadArgumentsAndLastUpdateSaysNever)
{
    TempProgramDir dir;
    for (const char* args :
         {"update --server ftp://h/", "update --server", "update extra", "last-update x", "publish only-one"})
        EXPECT_EQ(RunZpfctl(dir.path(), args).status, 2) << args;
    EXPECT_EQ(RunZpfctl(dir.path(), "last-update").out, "Never\n");
    dir.writeBytes("day.txt", "2004/07/15");
    EXPECT_EQ(RunZpfctl(dir.path(), "last-update").out, "2004/07/15\n");
    EXPECT_EQ(RunZpfctl(dir.path(), "update --quiet").status, 5); // no configuration to load

    // A whole program directory: the built-in server is no real host, so nothing leaves.
    for (const auto& entry : std::filesystem::directory_iterator(ZPF_BIN_DIR)) {
        if (entry.is_regular_file())
            std::filesystem::copy_file(entry.path(), dir.file(entry.path().filename().string()));
    }
    const auto r = RunZpfctl(dir.path(), "update");
    EXPECT_EQ(r.status, 12) << r.err;
    EXPECT_NE(r.out.find("from http://update.invalid/"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("update failed (12); nothing was changed"), std::string::npos) << r.err;
}

// ---- zpfctl cipher, run as the administrator runs it. ----

TEST(CipherCommandTest, EncodeDecodeRoundTrip)
{
    TempProgramDir dir;
    std::string text = "Port=3036\r\n%kids%\nline\0with zero\n";
    for (int i = 0; i < 40000; ++i)
        text += static_cast<char>(i * 31 % 251);
    dir.writeBytes("plain", text);
    for (const char* marker : {"", "--marker "}) {
        SCOPED_TRACE(marker);
        // The option may come before or after the word.
        ASSERT_EQ(cipherCtl(dir, std::string("cipher ") + marker + "encode plain enc").status, 0);
        ASSERT_EQ(cipherCtl(dir, std::string("cipher decode ") + marker + "enc back").status, 0);
        EXPECT_EQ(dir.readBytes("back"), padded(text)); // the last unit keeps its zero bytes
        // ConfigCommandTest has the configuration reader read a marker file.
        EXPECT_EQ(dir.readBytes("enc").rfind("PLXharbor\r\n", 0) == 0, *marker != '\0');
    }
}

TEST(CipherCommandTest, BadArgumentsAndFilesAreRefused)
{
    TempProgramDir dir;
    dir.writeBytes("plain", "abc\n");
    struct Row {
        const char* args;
        int status;
        const char* message;
    };
    const Row rows[] = {
        {"cipher", 2, "usage"},
        {"cipher encode plain", 2, "usage"},
        {"cipher scramble plain out", 2, "usage"},
        {"cipher encode --fast plain out", 2, "unknown option"},
        {"cipher encode plain out extra", 2, "usage"},
        {"cipher encode missing out", 1, "cannot open 'missing'"},
        {"cipher encode plain no/such/dir/out", 1, "cannot create"},
        {"cipher decode --marker plain out", 1, "does not begin with the PLXharbor line"},
        {"cipher encode plain plain", 1, "same file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        const auto r = cipherCtl(dir, row.args);
        EXPECT_EQ(r.status, row.status);
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(dir.readBytes("plain"), "abc\n");
}

// ---- zpfctl password with the password on standard input. ----

TEST(PasswordCommandTest, SetThenCheck)
{
    TempProgramDir dir;
    auto none = runWithInput(dir, "anything\\n", "check");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "no administrator password is set\n");

    auto set = runWithInput(dir, "s3cret pass\\r\\n", "set");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "administrator password set\n");
    EXPECT_EQ(runWithInput(dir, "s3cret pass\\n", "check").status, 0);
    auto wrong = runWithInput(dir, "S3cret pass\\n", "check");
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.out, "password does not match\n");

    // Refused input leaves the stored password alone.
    EXPECT_EQ(runWithInput(dir, "", "set").status, 1);
    EXPECT_EQ(runWithInput(dir, std::string(256, 'x') + "\\n", "set").status, 1);
    EXPECT_EQ(runWithInput(dir, "s3cret pass", "check").status, 0); // no line end needed
    EXPECT_EQ(runWithInput(dir, "\\n", "set").out, "administrator password cleared\n");
    EXPECT_EQ(runWithInput(dir, "x\\n", "set now").status, 2);
}

// The configuration application loads, `zpfctl password set` changes the password, then
// the application saves: its save used to put the old password back.
TEST(PasswordCommandTest, ASaveOfTheWholeConfigurationKeepsAPasswordSetMeanwhile)
{
    struct App : ConfigrationFileSigleton { };
    TempProgramDir dir;
    SetHivePath(platform::Hive::LocalMachine, dir.file("registry.db"));
    ASSERT_EQ(runWithInput(dir, "old\\n", "set").status, 0);
    App app;
    (void)app.Initialize();
    ASSERT_EQ(app.adminPassword, "old");

    // A save in progress holds the directory's lock: the second writer waits for it.
    platform::DirectoryLock saving;
    ASSERT_TRUE(saving.Acquire(dir.path(), ConfigrationFileSigleton::kSaveLockName, 0));
    auto setter = std::async(std::launch::async, [&] { return runWithInput(dir, "new\\n", "set"); });
    EXPECT_EQ(setter.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    saving.Release();
    EXPECT_EQ(setter.get().status, 0);

    ASSERT_FALSE(app.SaveAll(false, false));
    EXPECT_EQ(runWithInput(dir, "new\\n", "check").status, 0);
    SetHivePath(platform::Hive::LocalMachine, "");
}

// ---- zpfctl browser-proxy in a desktop session whose settings live in a temporary key file. ----

TEST_F(BrowserProxyCommandTest, SetPointsTheDesktopAtTheProxyAndRestoreUndoesIt)
{
    gsettings("set org.gnome.system.proxy.http host before.example");
    ASSERT_EQ(zpfctl("backup").status, 0);
    auto set = zpfctl("set 127.0.0.1:3036");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(gsettings("get org.gnome.system.proxy mode"), "'manual'\n");
    EXPECT_EQ(gsettings("get org.gnome.system.proxy.http host"), "'127.0.0.1'\n");
    EXPECT_EQ(gsettings("get org.gnome.system.proxy.https port"), "3036\n");
    EXPECT_NE(dir.readBytes("config/zpf/proxy.sh").find("export http_proxy='http://127.0.0.1:3036/'"),
              std::string::npos);
    auto show = zpfctl("show");
    EXPECT_NE(show.out.find("browser proxy: on\nserver: 127.0.0.1:3036\n"), std::string::npos) << show.out;

    ASSERT_EQ(zpfctl("restore").status, 0);
    EXPECT_EQ(gsettings("get org.gnome.system.proxy mode"), "'none'\n");
    EXPECT_EQ(gsettings("get org.gnome.system.proxy.http host"), "'before.example'\n");
    EXPECT_FALSE(platform::PathExists(dir.file("config/zpf/proxy.sh")));

    ASSERT_EQ(zpfctl("off").status, 0);
    EXPECT_EQ(gsettings("get org.gnome.system.proxy mode"), "'none'\n");
    for (const char* bad : {"", "set nohost", "set host:0", "set 'a;b:1'", "set a:1 extra", "frob", "restore now"})
        EXPECT_EQ(zpfctl(bad).status, 2) << bad;
}
