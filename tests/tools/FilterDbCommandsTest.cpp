// zpfctl keys, lookup and scan on the program directory the build produces.
#include <gtest/gtest.h>

#include "support/RunProgram.h"
#include "support/TempProgramDir.h"

using zpftest::RunZpfctl;

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
