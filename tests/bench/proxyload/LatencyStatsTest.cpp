// Nearest-rank percentiles and the latency summary.
#include <gtest/gtest.h>

#include <numeric>

#include "proxyload/LatencyStats.h"

using namespace proxyload;

TEST(LatencyStatsTest, PercentileIsTheNearestRank)
{
    struct Case {
        std::vector<uint32_t> samples;
        double p;
        uint32_t want;
    };
    std::vector<uint32_t> hundred(100);
    std::iota(hundred.begin(), hundred.end(), 1); // 1..100
    std::vector<uint32_t> reversed(hundred.rbegin(), hundred.rend());
    const Case cases[] = {
        {{}, 50, 0},
        {{7}, 50, 7},
        // The lower middle: half the samples are at or below it.
        {{4, 1, 3, 2}, 50, 2},
        {hundred, 99, 99},
        {hundred, 100, 100},
        {reversed, 99, 99},
        {{5, 5, 5, 9}, 99, 9},
        {{1, 2}, 0, 1},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> samples = c.samples;
        EXPECT_EQ(Percentile(samples, c.p), c.want) << "p" << c.p << " of " << c.samples.size();
    }
}

TEST(LatencyStatsTest, SummaryIsInMilliseconds)
{
    std::vector<uint32_t> us(1000);
    std::iota(us.begin(), us.end(), 1); // 1 us .. 1000 us
    LatencySummary s = Summarise(us);
    EXPECT_EQ(s.count, 1000u);
    EXPECT_DOUBLE_EQ(s.medianMs, 0.5);
    EXPECT_DOUBLE_EQ(s.p99Ms, 0.99);
    EXPECT_DOUBLE_EQ(s.maxMs, 1.0);
    EXPECT_NEAR(s.meanMs, 0.5005, 1e-9);

    std::vector<uint32_t> none;
    EXPECT_EQ(Summarise(none).count, 0u);
    EXPECT_EQ(Summarise(none).p99Ms, 0.0);
}
