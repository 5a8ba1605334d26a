// zpfctl's reading and publishing commands, run as built on temporary program
// directories (or on the one the build produces).
#include <gtest/gtest.h>

#include <filesystem>

#include "cipher/CDes.h"
#include "common/Edition.h"
#include "support/RunProgram.h"
#include "support/TempProgramDir.h"

using zpftest::Crlf;
using zpftest::RunZpfctl;
using zpftest::TempProgramDir;

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
