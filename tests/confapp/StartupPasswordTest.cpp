#include "core/StartupPassword.h"

#include <gtest/gtest.h>

#include "core/Texts.h"

TEST(StartupPasswordTest, EntryMustMatchExactly)
{
    EXPECT_FALSE(StartupPassword("").required());
    const StartupPassword sjis("\x83\x70\x83\x58secret"); // "パス" in Shift_JIS, then ASCII
    ASSERT_TRUE(sjis.required());
    const struct {
        std::string entry;
        bool ok;
    } cases[] = {
        {"パスsecret", true}, {"パスSecret", false}, {"パスsecret ", false},          {"", false},
        {"??secret", false},  {"パスsecre", false},  {std::string(2000, 'a'), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sjis.Check(c.entry), c.ok ? "" : texts::kWrongPassword) << c.entry;
    // A character without a Shift_JIS form must not match the '?' it would become.
    EXPECT_EQ(StartupPassword("a?").Check("a😀"), texts::kWrongPassword);
    EXPECT_EQ(StartupPassword("a?").Check("a?"), "");
}
