#include "core/MainWindowModel.h"

#include <gtest/gtest.h>

#include "CoreFixture.h"
#include "core/Texts.h"

using confapptest::CoreFixture;
using confapptest::TestConfig;

namespace {

class MainWindowModelTest : public CoreFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(document.Load()) << document.loadError();
        model.Load();
    }
    MainWindowModel model{document};
};

} // namespace

TEST_F(MainWindowModelTest, CategoryStatesReachZpfCnfOfGroupZero)
{
    ASSERT_EQ(model.categories().size(), 3u);
    EXPECT_EQ(model.categories()[0].name, "アダルト");
    EXPECT_EQ(model.categories()[0].state, 1);
    EXPECT_EQ(model.categories()[2].state, 2);

    model.StoreCategories();
    EXPECT_FALSE(model.modified()) << "storing unchanged states is no change";

    // Clicks cycle 0 -> 1 -> 2 -> 0: states 1, 0, 2 become 2, 1, 0.
    for (size_t row = 0; row < 3; ++row)
        model.SetCategoryState(row, MainWindowModel::NextState(model.categories()[row].state));
    model.SetCategoryState(7, 1); // no such row: ignored
    model.StoreCategories();
    EXPECT_TRUE(model.modified());
    ASSERT_TRUE(document.Save(false).ok);

    TestConfig reread;
    ASSERT_FALSE(reread.Initialize()) << reread.errorText;
    const std::string text = reread.FormatZpfCnf(false);
    const std::string expected =
        "#\x83\x41\x83\x5f\x83\x8b\x83\x67\nadult.fdb=2\n#Game\ngame.fdb=1\n#News\nnews.fdb=0\n";
    EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST_F(MainWindowModelTest, SwitchesAndPasswordSetTheirFlags)
{
    EXPECT_FALSE(model.browserSettingAtStart());
    EXPECT_STREQ(model.filteringText(), texts::kFilteringOn);
    model.ToggleFiltering();
    EXPECT_EQ(cnf.Filtering, 0);
    EXPECT_STREQ(model.filteringText(), texts::kFilteringOff);
    EXPECT_TRUE(model.modified());
    model.ClearModified();

    model.SetSetProxy(true);
    model.SetAutoUpdate(true);
    EXPECT_EQ(cnf.SetProxy, 1);
    EXPECT_EQ(cnf.AutoUpdateAtBoot, 1);
    EXPECT_TRUE(model.modified());
    EXPECT_FALSE(model.passwordChanged());

    EXPECT_EQ(model.SetPassword("パス"), "");
    EXPECT_EQ(cnf.adminPassword, "\x83\x70\x83\x58");
    EXPECT_EQ(model.password(), "パス");
    EXPECT_TRUE(model.passwordChanged());
    EXPECT_EQ(model.SetPassword("😀"), texts::kPasswordUnencodable);
    EXPECT_EQ(model.password(), "パス");

    EXPECT_EQ(MainWindowModel::DateText(""), texts::kNeverUpdated);
    EXPECT_EQ(MainWindowModel::DateText(nullptr), texts::kNeverUpdated);
    EXPECT_EQ(MainWindowModel::DateText("2026/12/07"), "2026/12/07");
}

TEST(CategoryColoursTest, StatesAndTextColours)
{
    const Rgb window{255, 255, 255}, black{0, 0, 0};
    EXPECT_EQ(CategoryBackground(0, window), window);
    EXPECT_EQ(CategoryBackground(1, window), (Rgb{0xFF, 0xE0, 0xE8}));
    EXPECT_EQ(CategoryBackground(2, window), (Rgb{0xD0, 0xFF, 0xFF}));
    const struct {
        bool enabled;
        Rgb text, background, expected;
    } cases[] = {
        {true, black, window, black},
        {false, black, window, {128, 128, 128}},
        {true, window, window, {192, 192, 192}},
        {false, black, {128, 128, 128}, {192, 192, 192}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CategoryText(c.enabled, c.text, c.background), c.expected);
}
