// A group, an account in it and a week that cuts it off, all made through the pages and
// saved as Vantrel saves them, make the running proxy answer that account with the
// schedule's block page while another account still gets the origin's page.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/BaseDirectory.h"
#include "common/RegistryHive.h"
#include "config/ConfigrationFile.h"
#include "core/SettingsDocument.h"
#include "core/pages/AuthAccountPage.h"
#include "core/pages/GroupPage.h"
#include "core/pages/TimePage.h"
#include "integration/ServerFixtures.h"

namespace {

class Config : public ConfigrationFileSigleton { };

class ScheduleEndToEndTest : public zpftest::NginxTest {
protected:
    void SetUp() override
    {
        NginxTest::SetUp();
        if (IsSkipped())
            return;
        // The proxy runs the network edition, as this test does.
        std::error_code ec;
        std::filesystem::copy_file(zpf.file("libravlin_other.so"), zpf.file("libravlin.so"),
                                   std::filesystem::copy_options::overwrite_existing, ec);
        ASSERT_FALSE(ec) << ec.message();
        SetBaseDirectory(zpf.path());
        SetHivePath(platform::Hive::LocalMachine, zpf.file("registry.db"));
    }
    void TearDown() override { SetHivePath(platform::Hive::LocalMachine, ""); }
};

TEST_F(ScheduleEndToEndTest, AnAccountOfACutGroupGetsTheSchedulesBlockPage)
{
    Config cnf;
    SettingsDocument document(cnf, zpf.path());
    ASSERT_TRUE(document.Load()) << document.loadError();

    GroupPage groups(document);
    groups.Load();
    groups.SetName("kids");
    ASSERT_EQ(groups.Add(), "");
    const int kids = groups.items().at(0).group;

    AuthAccountPage accounts(document);
    accounts.Load();
    accounts.SetMode(1);
    const struct {
        const char* account;
        const char* password;
        int group;
    } people[] = {{"taro", "pw", kids}, {"mama", "pw2", 0}};
    for (const auto& p : people) {
        accounts.accountField = p.account;
        accounts.passwordField = p.password;
        accounts.groupField = p.group;
        ASSERT_EQ(accounts.Add(), "");
    }
    ASSERT_EQ(accounts.Validate(), "");
    accounts.Store();

    TimePage week(document);
    week.LoadGroup(kids);
    for (int day = 0; day < TimePage::kDays; ++day)
        week.PaintCells(day, 0, TimePage::kHours - 1, FilterCut);
    week.StoreGroup(kids);
    const SettingsDocument::SaveResult saved = document.Save(false);
    ASSERT_TRUE(saved.ok) << saved.message;

    zpf.serve();
    zpftest::Fetch f = zpf.curl({"--proxy-user", "taro:pw", origin("/page.html")});
    EXPECT_EQ(f.code, "403");
    EXPECT_EQ(f.body, zpf.page(907));
    f = zpf.curl({"--proxy-user", "mama:pw2", origin("/page.html")});
    EXPECT_EQ(f.code, "200");
    EXPECT_EQ(f.body, zpftest::NginxOrigin::PhrasePage(true));
    EXPECT_EQ(zpf.curl({origin("/page.html")}).code, "407") << "the mode was saved too";
    zpf.stopServing();
}

} // namespace
