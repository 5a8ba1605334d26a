// zpfctl categories and zpfctl lists: Shift_JIS data shown in UTF-8.
#include <gtest/gtest.h>

#include "support/RunProgram.h"
#include "support/TempProgramDir.h"

using zpftest::RunZpfctl;
using zpftest::TempProgramDir;

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
