#include "filterdb/ContentMatcher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
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

Found scan(const ContentMatcher& m, const std::string& text, MatchState* state = nullptr)
{
    MatchResult r;
    const bool found = m.Scan(state ? *state : ContentMatcher::kRootState, text.data(), text.size(), r);
    if (state)
        *state = r.state;
    return {found, r.end, r.length, r.keyNumber};
}

ContentMatcher build(const std::vector<std::pair<std::string, uint16_t>>& keys, bool fold = true, size_t rows = 0)
{
    ContentMatcher m(fold);
    for (const auto& [k, n] : keys)
        EXPECT_FALSE(m.AddKey(k, n));
    m.Build(rows);
    return m;
}

// Full rows for every state, and rows for the root alone, must scan alike.
class ContentMatcherTest : public ::testing::TestWithParam<size_t> {};
INSTANTIATE_TEST_SUITE_P(RowBudgets, ContentMatcherTest, ::testing::Values(size_t {0}, size_t {1}));

TEST_P(ContentMatcherTest, ReportsFirstMatchAndSuffixKeysOneByteLate)
{
    const ContentMatcher m = build({{"abcd", 1}, {"bc", 2}, {"xyz", 3}}, true, GetParam());
    const std::vector<std::tuple<std::string, Found>> cases = {
        {"xabcd", {true, 4, 4, 1}},
        {"xabcx", {true, 3, 2, 2}},  // bc seen only when x fails to continue abc
        {"xabc", {false, 0, 0, 0}},  // ... so at the end of the text it is not seen yet
        {"bcd", {true, 1, 2, 2}},
        {"--xyz--bc", {true, 4, 3, 3}},
        {"ab cd", {false, 0, 0, 0}}, // the text is not compacted by Scan
        {"", {false, 0, 0, 0}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(scan(m, text), expected) << text;
}

TEST_P(ContentMatcherTest, KeysLoseWhiteSpaceAndFoldCase)
{
    const ContentMatcher folded = build({{"Bad \tWo\r\nrd", 7}}, true, GetParam());
    EXPECT_EQ(scan(folded, "a BADWORD!"), (Found {true, 8, 7, 7}));
    EXPECT_EQ(folded.KeyText(0), "");
    MatchResult r;
    ASSERT_TRUE(folded.Scan(ContentMatcher::kRootState, "badword", 7, r));
    EXPECT_EQ(folded.KeyText(r.state), "badword");

    const ContentMatcher exact = build({{"Bad Word", 7}}, false, GetParam());
    EXPECT_EQ(scan(exact, "badword BadWord"), (Found {true, 14, 7, 7}));
}

TEST_P(ContentMatcherTest, CarriedStateFindsKeysAcrossPieces)
{
    const ContentMatcher m = build({{"abcd", 1}, {"bc", 2}}, true, GetParam());
    MatchState state = ContentMatcher::kRootState;
    EXPECT_EQ(scan(m, "zzab", &state), (Found {false, 0, 0, 0}));
    EXPECT_EQ(scan(m, "cd", &state), (Found {true, 1, 4, 1}));

    // A suffix key that ended with the previous piece is reported at index -1.
    state = ContentMatcher::kRootState;
    EXPECT_EQ(scan(m, "abc", &state), (Found {false, 0, 0, 0}));
    EXPECT_EQ(scan(m, "q", &state), (Found {true, -1, 2, 2}));
    // The byte that revealed it was not consumed: scanning on from there is clean.
    EXPECT_EQ(scan(m, "q", &state), (Found {false, 0, 0, 0}));
}

TEST_P(ContentMatcherTest, FirstKeyToEndAtAStateKeepsItsNumber)
{
    // Keys that compact to the same bytes end at one state; 0 counts as unset.
    const ContentMatcher m = build({{"foo", 0}, {"f o o", 4}, {"FOO", 5}}, true, GetParam());
    EXPECT_EQ(scan(m, "foo"), (Found {true, 2, 3, 4}));
}

TEST_P(ContentMatcherTest, CompactScanSkipsWhiteAndGivesRawPositions)
{
    const ContentMatcher m = build({{"abcd", 1}, {"bc", 2}}, true, GetParam());
    const std::vector<std::tuple<std::string, Found>> cases = {
        {"a b\r\nc\td", {true, 7, 4, 1}},
        {"x a  b c  x", {true, 7, 2, 2}}, // late: ends at the c, before the white run
        {"  ", {false, 0, 0, 0}},
    };
    for (const auto& [text, expected] : cases) {
        MatchResult r;
        const bool found = m.ScanCompact(ContentMatcher::kRootState, text.data(), text.size(), r);
        EXPECT_EQ((Found {found, r.end, r.length, r.keyNumber}), expected) << text;
    }
    MatchResult r;
    ASSERT_FALSE(m.ScanCompact(ContentMatcher::kRootState, "ab c", 4, r));
    ASSERT_TRUE(m.ScanCompact(r.state, "  \n!", 4, r));
    EXPECT_EQ(r.end, -1); // bc ended before this text
}

TEST_P(ContentMatcherTest, LongTextScanAgreesWithByteByByteScan)
{
    // A long text is scanned in parts at once; one byte at a time (carrying the
    // state) never is. A key, or its suffix key, is put at every place around the
    // borders of the parts (quarters) of a text that otherwise matches nothing, with
    // and without white bytes.
    const ContentMatcher m = build({{"abcdefgh", 1}, {"defg", 2}, {"hh", 3}}, true, GetParam());
    for (const std::string filler : {"xyzw", "x y\nz"}) {
        for (const std::string key : {"abcdefgh", "abcdefgx", "hh"}) {
            for (size_t at = 0; at < 3 * 60; ++at) {
                std::string text;
                while (text.size() < 1200)
                    text += filler;
                text.resize(1200);
                text.replace(300 * (1 + at / 60) - 30 + at % 60, key.size(), key);
                for (bool compact : {false, true}) {
                    MatchResult whole;
                    const bool found = compact ? m.ScanCompact(0, text.data(), text.size(), whole)
                                               : m.Scan(0, text.data(), text.size(), whole);
                    MatchResult step;
                    MatchState state = ContentMatcher::kRootState;
                    bool stepFound = false;
                    size_t i = 0;
                    for (; i < text.size() && !stepFound; ++i) {
                        stepFound = compact ? m.ScanCompact(state, &text[i], 1, step) : m.Scan(state, &text[i], 1, step);
                        state = step.state;
                    }
                    ASSERT_EQ(found, stepFound) << text;
                    EXPECT_EQ(whole.state, step.state) << text;
                    if (!found)
                        continue;
                    // A late report in a one-byte scan ends at the key byte before that byte.
                    auto end = static_cast<std::ptrdiff_t>(i - 1) + step.end;
                    while (step.end < 0 && compact && end >= 0 && (text[static_cast<size_t>(end)] == ' ' || text[static_cast<size_t>(end)] == '\n'))
                        --end;
                    EXPECT_EQ(whole.end, end) << text;
                    EXPECT_EQ(whole.length, step.length);
                    EXPECT_EQ(whole.keyNumber, step.keyNumber);
                }
            }
        }
    }
}

TEST(ContentMatcherBuildTest, LengthsAndEmptyKeys)
{
    ContentMatcher m, empty;
    empty.Build();
    EXPECT_EQ(scan(empty, "anything at all"), (Found {false, 0, 0, 0}));
    EXPECT_FALSE(m.HasKeys());
    EXPECT_EQ(m.MinKeyLength(), 1000u);
    EXPECT_EQ(m.MaxKeyLength(), 0u);
    EXPECT_FALSE(m.AddKey(" \r\n\t", 1)); // nothing left: skipped
    EXPECT_FALSE(m.HasKeys());
    EXPECT_FALSE(m.AddKey(std::string(1200, 'k'), 1));
    EXPECT_EQ(m.MinKeyLength(), 1200u); // the first key sets both
    EXPECT_FALSE(m.AddKey("a b", 1));
    EXPECT_EQ(m.MinKeyLength(), 2u);
    EXPECT_EQ(m.MaxKeyLength(), 1200u);

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
    EXPECT_LT(m.MemoryBytes(), size_t {16} << 20); // rows are capped, not one per state and byte value
    EXPECT_EQ(scan(m, "  " + big), (Found {true, 2 + 100 * 1024 - 1, 100 * 1024, 1}));
    // Breaking off the long key deep inside reports the suffix that ended there.
    std::string text = big.substr(0, 50000);
    text.push_back(big[50000] == 'x' ? 'y' : 'x');
    EXPECT_EQ(scan(m, text), (Found {true, 49999, 10, 2}));
}

} // namespace
