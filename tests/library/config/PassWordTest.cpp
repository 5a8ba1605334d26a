// The group list, then the accounts that belong to its groups.
#include "config/PassWord.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "config/GroupList.h"
#include "support/TempProgramDir.h"

using zpftest::Crlf;
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

namespace {

class PassWordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        groups.AddGroup("kids");
        groups.AddGroup("staff");
    }
    TempProgramDir dir;
    GroupList groups;
};

} // namespace

TEST_F(PassWordTest, RecordForms)
{
    struct Row {
        const char* line;
        const char* id;
        const char* password;
        int accessClass, group;
    } rows[] = {
        {"alice:pw:2;kids", "alice", "pw", 2, 1},
        {"alice:pw;kids", "alice", "pw", 1, 1}, // short form: class 1
        {"alice:pw", "alice", "pw", 1, 0},
        {"alice:pw:0;", "alice", "pw", 0, 0}, // default group: empty name
        {"bob:pw:1;nosuch", "bob", "pw", 1, -1},
        {"bob:a:b:c;staff", "bob", "a", 0, 2}, // the second ":" ends the password
        {"bob:pw:99999999999999;staff", "bob", "pw", INT_MAX, 2},
        {"::", "", "", 0, 0},
        {":", "", "", 1, 0},
        {"no colon;kids", "", "", 0, 1},
        {"", "", "", 0, 0},
    };
    for (const auto& r : rows) {
        CPassWord rec(r.line, &groups);
        EXPECT_EQ(rec.id, r.id) << r.line;
        EXPECT_EQ(rec.password, r.password) << r.line;
        EXPECT_EQ(rec.accessClass, r.accessClass) << r.line;
        EXPECT_EQ(rec.group, r.group) << r.line;
    }
    CPassWord rec("u:p:2;kids", &groups);
    EXPECT_EQ(rec.ID(), "u:p");
    rec.SetRecord("plain", &groups); // a reused record forgets its old account
    EXPECT_EQ(rec.ID(), ":");
    rec.SetRecord(nullptr, &groups);
    EXPECT_EQ(rec.accessClass, 0);
}

TEST_F(PassWordTest, FileRoundTrip)
{
    std::string longLine = "long:" + std::string(600, 'x') + ":1;kids";
    dir.writeBytes("passwd", Crlf("alice:secret:2;kids\n"
                                  "\n"
                                  "bob:hunter2;staff\n"
                                  "carol:pw:0;\n"
                                  "dave:pw:1;gone\n" // unknown group
                                  "just some text\n" // names no account
                                  + longLine + "\n" + "erin:  spaced  :1;\n"));
    CPassWordData data(&groups);
    ASSERT_FALSE(data.Initialize());
    ASSERT_EQ(data.accounts.size(), 5u);
    EXPECT_EQ(data.accounts[1].id, "bob");
    EXPECT_EQ(data.accounts[1].accessClass, 1);
    EXPECT_EQ(data.accounts[3].group, -1);
    EXPECT_EQ(data.accounts[4].password, "  spaced  "); // only CR and LF are stripped

    ASSERT_FALSE(data.WriteData());
    EXPECT_EQ(dir.readBytes("passwd"), Crlf("alice:secret:2;kids\n"
                                            "bob:hunter2:1;staff\n"
                                            "carol:pw:0;\n"
                                            "dave:pw:1;\n" // never a lookup of group -1
                                            "erin:  spaced  :1;\n"));
    CPassWordData again(&groups);
    ASSERT_FALSE(again.Initialize());
    ASSERT_EQ(again.accounts.size(), 5u);
    EXPECT_EQ(again.accounts[3].group, 0);

    std::remove(dir.file("passwd").c_str());
    EXPECT_TRUE(again.Initialize());
    EXPECT_TRUE(again.accounts.empty());
    int group = 9;
    EXPECT_EQ(again.CheckAccessClass("alice:secret", &group, false), -1);
    EXPECT_EQ(group, 0);
    again.SetPath(dir.file("no/such/dir/passwd"));
    EXPECT_TRUE(again.WriteData());
}

TEST_F(PassWordTest, AccountsThatWouldNotReadBackAreRefusedAndTheFileKept)
{
    CPassWordData data(&groups);
    data.accounts.emplace_back("alice:secret:2;kids", &groups);
    ASSERT_FALSE(data.WriteData());
    const std::string before = dir.readBytes("passwd");
    struct Row {
        std::string id, password;
    } rows[] = {
        {"al:ice", "pw"}, // read back as "al" with password "ice"
        {"alice", "p:w"}, // the class would be read from "w"
        {"al;ice", "pw"}, // the group would be read from "ice:pw..."
        {"alice", "p;w"},  {"alice", "p\nw"}, // a second line
        {"alice", "p\rw"}, {"alice", std::string(CPassWordData::kLineLimit, 'x')}, // cut by the reader
    };
    for (const auto& r : rows) {
        CPassWordData more = data;
        CPassWord& added = more.accounts.emplace_back();
        added.id = r.id;
        added.password = r.password;
        EXPECT_NE(more.AccountError(added), "") << r.id << ":" << r.password;
        EXPECT_TRUE(more.WriteData());
        EXPECT_EQ(dir.readBytes("passwd"), before);
    }
    EXPECT_EQ(data.CheckAccounts(), "");
}

TEST_F(PassWordTest, AccountLookup)
{
    CPassWordData data(&groups);
    for (const char* line : {"alice:pw:2;kids", "alice:other:3;staff", "bob:b;c:1;staff", "nopass::0;staff", ":"})
        data.accounts.emplace_back(line, &groups);
    data.accounts.emplace_back("ghost:pw:4;gone", &groups); // group -1

    struct Row {
        const char* credentials;
        bool byId;
        int result, group;
    } rows[] = {
        {"alice:pw", false, 2, 1},
        {"alice:other", false, 3, 2}, // same id, the password decides
        {"alice:PW", false, -1, 0}, // case-sensitive
        {"alice:pw:x", false, -1, 0}, // nothing after the password may tag along
        {"alice", true, 2, 1}, // by id: the first account wins
        {"bob:b;c", false, 1, -1}, // a stored password holding ";" still matches (its group is lost)
        {"nopass:", false, 0, 2},
        {"anything", false, 1, 0}, // no ":" matches only the account with empty name and password
        {"ghost:pw", false, 4, -1},
        {"", false, 1, 0},
    };
    for (const auto& r : rows) {
        int group = 42;
        EXPECT_EQ(data.CheckAccessClass(r.credentials, &group, r.byId), r.result) << r.credentials;
        EXPECT_EQ(group, r.group) << r.credentials;
    }
    EXPECT_EQ(data.CheckAccessClass(nullptr, nullptr, false), -1);
    EXPECT_EQ(data.CheckAccessClass("alice:pw", nullptr, false), 2);
}
