// Accounts with their groups, and the two IP lists, as typed on their pages and as
// read back by a fresh load.
#include "PagesFixture.h"
#include "core/pages/AuthAccountPage.h"
#include "core/pages/GroupPage.h"
#include "core/pages/IPPages.h"

namespace {

using confapptest::PagesFixture;

class AccountAndIpPagesTest : public PagesFixture { };

void type(AuthAccountPage& p, const char* account, const char* password, bool noFiltering, int group)
{
    p.accountField = account;
    p.passwordField = password;
    p.noFilteringField = noFiltering;
    p.groupField = group;
}

TEST_F(AccountAndIpPagesTest, AccountsAreCheckedAndStoredWithTheirGroups)
{
    // A group named in Japanese, as an older group.cnf may hold (Shift_JIS bytes).
    dir.writeBytes("group.cnf", zpftest::Crlf("kids\nstaff\n\x8e\x71\x8b\x9f\n")); // 子供
    // "old.name" breaks the rule for new accounts; read from the file it stays.
    dir.writeBytes("passwd", "old.name:pw:0;\x8e\x71\x8b\x9f\nboss:secret:1;staff\n");
    ASSERT_TRUE(document.Load());
    AuthAccountPage page(document);
    page.Load();
    ASSERT_EQ(page.rows().size(), 2u);
    EXPECT_EQ(page.RowTexts(0), (std::vector<std::string>{"old.name", "pw", "あり", "子供"}));
    EXPECT_EQ(page.RowTexts(1), (std::vector<std::string>{"boss", "secret", "なし", "staff"}));
    EXPECT_FALSE(page.accountsEditable()) << "mode 0 at start";
    type(page, "x", "y", false, 0);
    EXPECT_EQ(page.Add(), "");
    EXPECT_EQ(page.rows().size(), 2u) << "the list cannot be edited without authentication";

    page.SetMode(1);
    const struct {
        const char* account;
        const char* password;
        const char* message;
    } adds[] = {
        {"  taro_1 ", " pass word ", ""},
        {"TARO_1", "x", "既に同じアカウント名が存在します。"},
        {"ta ro", "x", "アカウントには英数字しか使用できません。"},
        {"   ", "x", "アカウントを入力してください。"},
        {"jiro", "a:b", "A password may not hold \":\", \";\", a line end or another control character."},
    };
    for (const auto& a : adds) {
        type(page, a.account, a.password, true, 3);
        EXPECT_EQ(page.Add(), a.message) << a.account;
    }
    ASSERT_EQ(page.rows().size(), 3u);
    EXPECT_EQ(page.RowTexts(2), (std::vector<std::string>{"taro_1", "pass word", "なし", "子供"}));
    EXPECT_EQ(page.accountField, "jiro") << "a refused add keeps the fields";

    page.Select(1);
    EXPECT_TRUE(page.noFilteringField);
    EXPECT_EQ(page.groupField, 2);
    page.accountField = "BOSS2";
    EXPECT_EQ(page.Modify(), "");
    page.accountField = "Taro_1"; // the same as another row without regard to case
    EXPECT_EQ(page.Modify(), "既に同じアカウント名が存在します。");

    // Deleting "staff" moves boss to group 0 on the page and in the file.
    GroupPage groups(document);
    groups.Load();
    for (size_t i = 0; i < groups.items().size(); ++i) {
        if (groups.items()[i].name == "staff")
            groups.Select(static_cast<int>(i));
    }
    ASSERT_EQ(groups.Delete(), "");
    EXPECT_EQ(page.RowTexts(1)[3], "(default)");
    page.SetMode(0);
    EXPECT_EQ(page.Validate(), "");
    page.Store();
    save();

    Fresh back(dir.path());
    EXPECT_EQ(back.cnf.zpfAuthorization, 0);
    const auto& accounts = back.cnf.passWordData.accounts;
    ASSERT_EQ(accounts.size(), 3u) << "accounts stay while authentication is off";
    const int kodomo = back.cnf.groupList.GetGroupNo("\x8e\x71\x8b\x9f");
    ASSERT_EQ(kodomo, 2) << "staff is gone, the group behind it moved down";
    EXPECT_EQ(accounts[0].group, kodomo);
    EXPECT_EQ(accounts[1].id, "BOSS2");
    EXPECT_EQ(accounts[1].group, 0);
    EXPECT_EQ(accounts[1].accessClass, 1);
    EXPECT_EQ(accounts[2].ID(), "taro_1:pass word");
    EXPECT_EQ(accounts[2].group, kodomo);
}

TEST_F(AccountAndIpPagesTest, RestrictionEntriesAreCheckedSortedAndExplained)
{
    IPRestrictionPage page(document);
    page.Load();
    EXPECT_EQ(page.Explain("10.0.0.5"), "10.0.0.5：制限なし（一覧が空のため、すべてのアドレスが使えます）");
    const struct {
        const char* text;
        bool accepted;
    } adds[] = {
        {"192.168.1.10", true}, {"10.0.0.1-10.0.0.20", true}, {"192.168.1.256", false},
        {"abc", false},         {"10.0.0.9-10.0.0.1", false},
    };
    for (const auto& a : adds) {
        page.addressField = a.text;
        EXPECT_EQ(page.Add(), a.accepted ? "" : "IPの書式が間違っています。") << a.text;
    }
    EXPECT_EQ(page.entries(), (std::vector<std::string>{"10.0.0.1 - 10.0.0.20", "192.168.1.10"}));
    EXPECT_EQ(page.Explain("10.0.0.5"), "10.0.0.5：許可（10.0.0.1 - 10.0.0.20）");
    EXPECT_EQ(page.Explain("10.0.0.21"), "10.0.0.21：拒否（どの項目にも含まれません）");
    EXPECT_EQ(page.Explain("10.0.0"), "アドレスは a.b.c.d の形で入力してください。");
    page.Select(1);
    page.addressField = "192.168.1.0 - 192.168.1.255";
    EXPECT_EQ(page.Modify(), "");
    page.Store();
    save();

    Fresh back(dir.path());
    EXPECT_TRUE(back.cnf.ipList.active);
    IP inside;
    inside.IPset("192.168.1.77");
    EXPECT_TRUE(back.cnf.ipList.CheckIP(inside));
    inside.IPset("192.168.2.1");
    EXPECT_FALSE(back.cnf.ipList.CheckIP(inside));
    IPRestrictionPage again(document);
    again.Load();
    EXPECT_EQ(again.entries(), page.entries());
}

TEST_F(AccountAndIpPagesTest, PolicyRowsStoreExemptionsGroupsAndModes)
{
    dir.writeBytes("ippass.cnf", "10.1.0.0-10.1.255.255\n10.2.0.1;staff;2\n");
    ASSERT_TRUE(document.Load());
    IPExceptionPage page(document);
    page.Load();
    ASSERT_EQ(page.rows().size(), 2u);
    EXPECT_EQ(page.RowTexts(0), (std::vector<std::string>{"10.1.0.0 - 10.1.255.255", "はい", "(default)", "認証なし"}));
    EXPECT_EQ(page.RowTexts(1), (std::vector<std::string>{"10.2.0.1", "いいえ", "staff", "半認証"}));

    page.addressField = "10.3.0.1";
    page.groupField = 1;
    page.modeField = 1;
    EXPECT_EQ(page.Add(), "");
    page.addressField = "10.3.0.256";
    EXPECT_EQ(page.Add(), "IPの書式が間違っています。");
    page.addressField = "10.3.0.0 - 10.3.0.255";
    page.exemptField = true;
    EXPECT_EQ(page.Add(), "");
    const struct {
        const char* address;
        const char* answer;
    } explained[] = {
        // Read back in address order, the range that starts lower decides.
        {"10.3.0.1", "10.3.0.1：10.3.0.0 - 10.3.0.255 により対象外"},
        {"10.2.0.1", "10.2.0.1：10.2.0.1 により グループ staff、半認証"},
        {"10.1.2.3", "10.1.2.3：10.1.0.0 - 10.1.255.255 により対象外"},
        {"11.0.0.1", "11.0.0.1：該当する項目はありません"},
        {"11.0.0", "アドレスは a.b.c.d の形で入力してください。"},
    };
    for (const auto& e : explained)
        EXPECT_EQ(page.Explain(e.address), e.answer);

    page.Select(2);
    EXPECT_FALSE(page.exemptField);
    EXPECT_EQ(page.groupField, 1);
    EXPECT_EQ(page.modeField, 1);
    // kids goes: its row is stored under group 0's name.
    ASSERT_EQ(document.config().DeleteGroup(1), "");
    EXPECT_EQ(page.RowTexts(2)[2], "(default)");
    page.Store();
    save();

    Fresh back(dir.path());
    std::vector<std::string> stored;
    for (const IPData& e : back.cnf.ipDataList.entries())
        stored.push_back(e.range.IPstring() + (e.filterClient
                                                   ? " " + std::to_string(e.group) + "/" + std::to_string(e.authMode)
                                                   : " exempt"));
    EXPECT_EQ(stored, (std::vector<std::string>{"10.1.0.0-10.1.255.255 exempt", "10.2.0.1 1/2",
                                                "10.3.0.0-10.3.0.255 exempt", "10.3.0.1 0/1"}));
}

} // namespace
