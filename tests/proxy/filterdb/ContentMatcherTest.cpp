#include "filterdb/ContentMatcher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

struct Found {
    bool found;
    std::ptrdiff_t end;
    uint32_t length;
    uint16_t number;
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Found& f)
{
    return os << "{" << f.found << "," << f.end << "," << f.length << "," << f.number << "}";
}

Found scan(const ContentMatcher& m, const std::string& text)
{
    MatchResult r;
    const bool found = m.Scan(ContentMatcher::kRootState, text.data(), text.size(), r);
    return {found, r.end, r.length, r.keyNumber};
}

// The content matcher fuzzer checks scans in pieces, compaction, folding, key lengths
// and row budgets against a naive automaton on short keys; these cases keep the build
// order and the long keys it never makes.
TEST(ContentMatcherBuildTest, ScansOnlyOnceBuiltAndTakesNoKeysAfter)
{
    ContentMatcher m, empty;
    empty.Build();
    EXPECT_EQ(scan(empty, "anything at all"), (Found{false, 0, 0, 0}));
    EXPECT_FALSE(m.AddKey("a b", 1));
    MatchResult r;
    EXPECT_FALSE(m.Scan(ContentMatcher::kRootState, "ab", 2, r)); // not built yet
    m.Build();
    EXPECT_TRUE(m.Scan(ContentMatcher::kRootState, "ab", 2, r));
    EXPECT_TRUE(m.AddKey("late", 1)); // refused once built
    EXPECT_FALSE(m.Scan(12345678, "zz", 2, r)); // a foreign state starts at the root
}

TEST(ContentMatcherBuildTest, LongBinaryKeyAndItsSuffixInDeepStates)
{
    std::mt19937 rng(3);
    std::string big(100 * 1024, '\0');
    for (char& c : big) {
        do
            c = static_cast<char>(rng());
        while (c == ' ' || c == '\t' || c == '\r' || c == '\n' || (c >= 'A' && c <= 'Z'));
    }
    const std::string suffix = big.substr(50000 - 10, 10);
    ContentMatcher m;
    ASSERT_FALSE(m.AddKey(big, 1));
    ASSERT_FALSE(m.AddKey(suffix, 2));
    m.Build();
    EXPECT_LT(m.MemoryBytes(), size_t{16} << 20); // rows are capped, not one per state and byte value
    EXPECT_EQ(scan(m, "  " + big), (Found{true, 2 + 100 * 1024 - 1, 100 * 1024, 1}));
    // Breaking off the long key deep inside reports the suffix that ended there.
    std::string text = big.substr(0, 50000);
    text.push_back(big[50000] == 'x' ? 'y' : 'x');
    EXPECT_EQ(scan(m, text), (Found{true, 49999, 10, 2}));
}

} // namespace
