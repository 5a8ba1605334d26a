// The local-time conversion: what each thread keeps of its last second never
// answers for another second.
#include "common/Clock.h"

#include <gtest/gtest.h>

namespace {

TEST(ClockTest, RepeatedAndChangingSecondsConvertAlike)
{
    // Repeats, steps forward and back, a day and a year boundary, the epoch.
    const std::time_t base = 1'767'225'599;
    for (std::time_t t : {base, base, base + 1, base, base + 86'400, std::time_t{0}, base - 1, base - 1, base + 3600}) {
        std::tm got{};
        ASSERT_TRUE(zpfclock::LocalTime(t, &got));
        EXPECT_EQ(std::mktime(&got), t) << "another second's local time";
    }
}

} // namespace
