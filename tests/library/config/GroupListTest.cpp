#include "config/GroupList.h"

#include <gtest/gtest.h>

#include <string>

#include "support/TempProgramDir.h"

using zpftest::TempProgramDir;

TEST(GroupListTest, ReadSkipsCommentsBlanksAndDuplicatesOrFindsNoFile)
{
    TempProgramDir dir;
    dir.writeBytes("group.cnf", "# staff groups\r\n\r\nb\r\nb \r\nc\r\n");
    GroupList list;
    ASSERT_EQ(list.InitGroupList(dir.file("group.cnf").c_str()), 0);
    ASSERT_EQ(list.size(), 3);
    EXPECT_STREQ(list.GetGroupName(0), "");
    EXPECT_STREQ(list.GetGroupName(1), "b");
    EXPECT_STREQ(list.GetGroupName(2), "c");

    // A missing file leaves the default group only.
    EXPECT_EQ(list.InitGroupList(dir.file("none.cnf").c_str()), 1);
    EXPECT_EQ(list.size(), 1);
    EXPECT_EQ(list.InitGroupList(nullptr), 0);
    EXPECT_EQ(list.size(), 1);
}

TEST(GroupListTest, WriteSkipsDefaultAndDeletedGroupsAndEndsLinesInCrLf)
{
    TempProgramDir dir;
    GroupList list;
    EXPECT_FALSE(list.AddGroup("kids"));
    EXPECT_TRUE(list.AddGroup("kids"));
    EXPECT_FALSE(list.AddGroup("staff"));
    EXPECT_FALSE(list.AddGroup("guests"));
    EXPECT_FALSE(list.DeleteGroup(2));
    EXPECT_TRUE(list.DeleteGroup(4));
    EXPECT_TRUE(list.DeleteGroup(-1));
    EXPECT_EQ(list.size(), 4); // deleted entries keep their index
    EXPECT_FALSE(list.WriteGroupList(dir.file("group.cnf").c_str()));
    EXPECT_EQ(dir.readBytes("group.cnf"), "kids\r\nguests\r\n");

    GroupList again;
    again.InitGroupList(dir.file("group.cnf").c_str());
    EXPECT_EQ(again.GetGroupNo("guests"), 2); // moved down after the save
    EXPECT_TRUE(list.WriteGroupList(dir.file("no/such/dir/group.cnf").c_str()));

    // Lookup is exact, skips deleted entries, and the empty name is the default group.
    EXPECT_EQ(list.GetGroupNo("staff"), -1);
    EXPECT_FALSE(list.AddGroup("staff"));
    EXPECT_EQ(list.GetGroupNo("staff"), 4); // a deleted name comes back as a new entry
    EXPECT_EQ(list.GetGroupNo("Kids"), -1);
    EXPECT_EQ(list.GetGroupNo(""), 0);
    EXPECT_FALSE(list.DeleteGroup(0)); // allowed; the default group is never written
    EXPECT_TRUE(list[0].deleted);
}

TEST(GroupListTest, NamesThatWouldNotReadBackAreRefusedAndTheFileKept)
{
    TempProgramDir dir;
    GroupList list;
    list.AddGroup("kids");
    ASSERT_FALSE(list.WriteGroupList(dir.file("group.cnf").c_str()));
    const std::string bad[] = {
        "#kids2", // read back as a comment: every later group moves down a number
        "%kids2", // a section line in the sectioned files
        "a,b", // splits a log field
        "a;b", // splits an ippass.cnf or passwd field
        "kids2 ", // read back without the blank, a different name
        " kids2",
        "ki\nds", // two groups
        "tab\t",  std::string(GroupList::kMaxNameLength + 1, 'x'),
    };
    for (const auto& name : bad) {
        GroupList more = list;
        more.AddGroup(name.c_str());
        EXPECT_NE(more.CheckNames(), "") << name;
        EXPECT_TRUE(more.WriteGroupList(dir.file("group.cnf").c_str())) << name;
        EXPECT_EQ(dir.readBytes("group.cnf"), "kids\r\n") << name;
    }
    EXPECT_NE(GroupList::NameError(""), "");
    for (const char* good : {"k#i%ds", "\x93\xfa\x96\x7b", "a b"})
        EXPECT_EQ(GroupList::NameError(good), "") << good;
}

TEST(GroupListTest, SectionLineNames)
{
    struct Row {
        const char* line;
        const char* name;
    } rows[] = {
        {"%kids%\n", "kids"}, {"%kids\n", "kids\n"}, // no closing '%': the line end stays and names no group
        {"%%", "%"},          {"%a%b%", "a%b"},      {"kids%", ""}, {"", ""}, {"%", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(GroupList::GetGroupNameFromLine(r.line), r.name) << r.line;
    EXPECT_EQ(GroupList::GetGroupNameFromLine(nullptr), "");
}
