// Adding, renaming and deleting groups on the page, and what each leaves in the files
// once saved and read again by a configuration that never saw the edits.
#include "core/pages/GroupPage.h"

#include <functional>
#include <map>

#include "PagesFixture.h"

namespace {

using confapptest::PagesFixture;

class GroupPageTest : public PagesFixture {
protected:
    // Each group with something of its own in zpf.cnf, the list files and time.cnf.
    void giveEachGroupData()
    {
        ConfigrationFileSigleton& c = document.config();
        c.SetNoFilter("zero.example/\n", 0);
        c.SetNoFilter("kids.example/\n", 1);
        c.SetNoFilter("staff.example/\n", 2);
        c.cnfData[1].Block = 0;
        c.cnfData[2].MessageFlag = 1;
        ASSERT_TRUE(c.timeCnfList.PutLineData("cut;mon;09:00-10:00\n", 2));
        c.timeCnfList[2].ownSchedule = true;
    }
};

struct Scenario {
    const char* name;
    std::function<void(GroupPage&)> edit;
    std::vector<std::string> groups; // group.cnf after the save, in order
    // Per group name ("" is group 0): its no-filter list, Block, MessageFlag, and the
    // state on Monday at 9:30.
    struct Data {
        std::string noFilter;
        int block;
        int messageFlag;
        FilterStatus monday930;
    };
    std::map<std::string, Data> data;
};

GroupPage& select(GroupPage& page, const std::string& name)
{
    for (size_t i = 0; i < page.items().size(); ++i) {
        if (page.items()[i].name == name)
            page.Select(static_cast<int>(i));
    }
    EXPECT_EQ(page.nameField(), name);
    return page;
}

TEST_F(GroupPageTest, EditsReachEveryFileUnderTheRightGroup)
{
    const Scenario::Data zero{"zero.example/\n", 1, 0, FilterOn};
    const Scenario::Data kids{"kids.example/\n", 0, 0, FilterOn};
    const Scenario::Data staff{"staff.example/\n", 1, 1, FilterCut};
    const Scenario::Data fresh{"zero.example/\n", 1, 0, FilterOn}; // a copy of group 0's settings and lists
    const Scenario scenarios[] = {
        {"add",
         [](GroupPage& p) {
             p.SetName("room2");
             EXPECT_EQ(p.Add(), "");
         },
         {"kids", "staff", "room2"},
         {{"", zero}, {"kids", kids}, {"staff", staff}, {"room2", fresh}}},
        {"delete the first: the second moves down and keeps its own data",
         [](GroupPage& p) { EXPECT_EQ(select(p, "kids").Delete(), ""); },
         {"staff"},
         {{"", zero}, {"staff", staff}}},
        {"rename: the data follows the new name",
         [](GroupPage& p) {
             select(p, "staff").SetName("office");
             EXPECT_EQ(p.Rename(), "");
         },
         {"kids", "office"},
         {{"", zero}, {"kids", kids}, {"office", staff}}},
        {"a deleted name given again is a new group",
         [](GroupPage& p) {
             EXPECT_EQ(select(p, "staff").Delete(), "");
             p.SetName("staff");
             EXPECT_EQ(p.Add(), "");
         },
         {"kids", "staff"},
         {{"", zero}, {"kids", kids}, {"staff", fresh}}},
        {"refusals change nothing",
         [](GroupPage& p) {
             p.SetName("kids");
             EXPECT_EQ(p.Add(), "そのグループは既にあります。");
             p.SetName("子供");
             EXPECT_EQ(p.Add(), "グループ名には半角英数字しか使えません。");
             select(p, "staff").SetName("kids");
             EXPECT_EQ(p.Rename(), "そのグループは既にあります。");
             p.SetName("a b");
             EXPECT_EQ(p.Rename(), "グループ名には半角英数字しか使えません。");
             EXPECT_FALSE(p.modified());
         },
         {"kids", "staff"},
         {{"", zero}, {"kids", kids}, {"staff", staff}}},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        ASSERT_TRUE(document.Load());
        giveEachGroupData();
        save();
        ASSERT_TRUE(document.Load());
        GroupPage page(document);
        page.Load();
        int selectorRebuilt = 0;
        page.SetGroupsChangedCallback([&] { ++selectorRebuilt; });
        s.edit(page);
        EXPECT_EQ(selectorRebuilt > 0, page.modified());
        save();

        Fresh back(dir.path());
        const GroupList& groups = back.cnf.groupList;
        std::vector<std::string> names;
        for (int g = 1; g < groups.size(); ++g)
            names.push_back(groups.GetGroupName(g));
        EXPECT_EQ(names, s.groups);
        for (const auto& [name, want] : s.data) {
            const int g = groups.GetGroupNo(name.c_str());
            ASSERT_GE(g, 0) << name;
            EXPECT_EQ(back.cnf.GetNoFilter(g), want.noFilter) << name;
            EXPECT_EQ(back.cnf.cnfData[static_cast<size_t>(g)].Block, want.block) << name;
            EXPECT_EQ(back.cnf.cnfData[static_cast<size_t>(g)].MessageFlag, want.messageFlag) << name;
            EXPECT_EQ(back.cnf.timeCnfList.FilterStatusAt(g, 0, 9 * 256 + 30), want.monday930) << name;
        }
        // Reset the directory's groups for the next scenario.
        dir.writeBytes("group.cnf", zpftest::Crlf("kids\nstaff\n"));
        dir.writeBytes("nofilter.fdb", "");
        dir.writeBytes("time.cnf", "on;\n");
        dir.writeBytes("zpf.cnf", zpftest::Crlf("Port=3036\n"));
    }
}

TEST_F(GroupPageTest, ListIsSortedAndADeletedGroupLeavesEverySelector)
{
    GroupPage page(document);
    page.Load();
    page.SetName("Adults");
    ASSERT_EQ(page.Add(), "");
    std::vector<std::string> shown;
    for (const auto& item : page.items())
        shown.push_back(item.name);
    EXPECT_EQ(shown, (std::vector<std::string>{"Adults", "kids", "staff"}));
    EXPECT_EQ(page.items()[0].group, 3);
    EXPECT_EQ(page.nameField(), "") << "the field is cleared after a change";
    EXPECT_FALSE(page.canModify());

    EXPECT_EQ(select(page, "kids").Delete(), "");
    SheetModel sheet(document, false);
    std::vector<int> live;
    for (const auto& entry : sheet.GroupEntries())
        live.push_back(entry.group);
    EXPECT_EQ(live, (std::vector<int>{0, 2, 3})) << "numbers stay until the next load";
}

} // namespace
