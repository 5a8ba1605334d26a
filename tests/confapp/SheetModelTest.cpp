#include "core/SheetModel.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "CoreFixture.h"

using confapptest::CoreFixture;

namespace {

// A per-group page that remembers what it was given.
class ProbePage final : public SettingsPage {
public:
    using SettingsPage::SettingsPage;
    std::string caption() const override { return "probe"; }
    bool perGroup() const override { return true; }
    void LoadGroup(int group) override { log += "L" + std::to_string(group); }
    void StoreGroup(int group) override { log += "S" + std::to_string(group); }
    void Store() override { log += "s"; }
    std::string Validate() const override { return refusal; }
    void Edit() { MarkChanged(); }
    std::string log, refusal;
};

ProbePage* g_probe = nullptr;

std::unique_ptr<SettingsPage> makeProbe(SheetTab tab, SettingsDocument& document)
{
    if (tab != SheetTab::Option)
        return nullptr;
    auto page = std::make_unique<ProbePage>(document);
    g_probe = page.get();
    return page;
}

class SheetModelTest : public CoreFixture {
protected:
    void SetUp() override { ASSERT_TRUE(document.Load()) << document.loadError(); }
};

} // namespace

TEST_F(SheetModelTest, GroupsAreLoadedStoredAndSwitched)
{
    ASSERT_EQ(cnf.AddGroup("kids"), "");
    ASSERT_EQ(cnf.AddGroup("gone"), "");
    ASSERT_FALSE(cnf.groupList.DeleteGroup(2)); // false: done
    SheetModel sheet(document, false, makeProbe);
    ASSERT_TRUE(sheet.hasGroupSelector());
    const auto entries = sheet.GroupEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "(default)");
    EXPECT_EQ(entries[1].name, "kids");
    EXPECT_EQ(entries[1].group, 1);

    sheet.Open(2); // deleted meanwhile: group 0
    EXPECT_EQ(sheet.currentGroup(), 0);
    g_probe->refusal = "never asked: the tab was never opened";
    EXPECT_EQ(sheet.SelectGroup(1), "");
    EXPECT_EQ(g_probe->log, "L0L1") << "a page never opened stores nothing";
    g_probe->refusal.clear();
    const auto option = static_cast<size_t>(std::find(sheet.tabs().begin(), sheet.tabs().end(), SheetTab::Option) -
                                            sheet.tabs().begin());
    EXPECT_FALSE(sheet.OpenTab(0)) << "the group page is not per group";
    EXPECT_TRUE(sheet.OpenTab(option));
    EXPECT_EQ(sheet.SelectGroup(0), "");
    EXPECT_EQ(sheet.SelectGroup(1), "");
    EXPECT_EQ(g_probe->log, "L0L1S1L0S0L1");
    EXPECT_EQ(sheet.Close(), "");
    EXPECT_FALSE(sheet.modified()) << "nothing edited, nothing stored";

    g_probe->Edit();
    g_probe->refusal = "bad";
    EXPECT_EQ(sheet.Close(), "bad");
    EXPECT_FALSE(sheet.modified());
    g_probe->refusal.clear();
    g_probe->log.clear();
    EXPECT_EQ(sheet.Close(), "");
    EXPECT_TRUE(sheet.modified());
    EXPECT_EQ(g_probe->log, "sS1");
}
