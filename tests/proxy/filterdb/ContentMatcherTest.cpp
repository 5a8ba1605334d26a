#include "filterdb/ContentMatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
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

bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Every report of a scan of text cut into pieces of `piece` bytes, going on after each
// report as a filter does, with its end placed in the whole text; then the last state.
std::vector<std::string> reports(const ContentMatcher& m, const std::string& text, size_t piece, bool compact)
{
    std::vector<std::string> out;
    MatchState state = ContentMatcher::kRootState;
    for (size_t start = 0; start < text.size(); start += piece) {
        const size_t n = std::min(piece, text.size() - start);
        size_t offset = 0;
        for (size_t round = 0; round < 2 * n + 100 && offset < n; ++round) {
            MatchResult r;
            const char* at = text.data() + start + offset;
            const bool found = compact ? m.ScanCompact(state, at, n - offset, r) : m.Scan(state, at, n - offset, r);
            state = r.state;
            if (!found)
                break;
            auto end = static_cast<std::ptrdiff_t>(start + offset) + r.end;
            if (r.end < 0 && compact)
                for (end = static_cast<std::ptrdiff_t>(start + offset) - 1;
                     end >= 0 && isWhite(text[static_cast<size_t>(end)]);)
                    --end;
            out.push_back(std::to_string(end) + "/" + std::to_string(r.length) + "/" + std::to_string(r.keyNumber));
            offset = static_cast<size_t>(std::max<std::ptrdiff_t>(0, static_cast<std::ptrdiff_t>(offset) + r.end + 1));
        }
    }
    out.push_back("state " + std::to_string(state));
    return out;
}

// Long texts are scanned by reading only the bytes near the rare bytes keys hold, or,
// with many keys, only where a key's start has just been read; short ones byte by
// byte. Both must report the same keys at the same places: with rare and frequent
// anchors, nested and suffix keys, white inside phrases and at piece edges.
TEST(ContentMatcherScanTest, LongTextsReportWhatShortPiecesReport)
{
    struct Case {
        const char* name;
        std::string keyLetters;
        std::string rare; // each key gets one of these
        std::string textLetters;
        unsigned keys, minLength, maxLength;
        bool fold, everyEnd;
    };
    const Case cases[] = {
        {"rare anchors", "abcdefgh", "q", "abcdefghijklmnopq     \n\t", 60, 4, 9, true, false},
        {"many keys", "abcdefghijklmnop", "zx", "abcdefghijklmnopqrstuvwxyz  \n", 2000, 5, 12, true, false},
        {"anchors everywhere", "ab", "z", "abzZ \n", 20, 3, 6, true, false},
        {"capitals kept", "aAbBcCdD", "Q", "aAbBcCdDeEfFqQ \r\n", 40, 3, 8, false, false},
        {"long keys", "abcdef", "j", "abcdefghij ", 30, 8, 40, true, false},
        {"double-byte text", "\x82\xa0\x82\xa2\x83\x41\x8a\xbf", "q", "\x82\xa0\x82\xa2\x83\x41\x8a\xbf\x89\xe6q \n",
         50, 4, 10, true, false},
        {"every end", "abcdef", "x", "abcdefghijklmnopx  \n", 40, 3, 8, true, true},
        {"no rare bytes", "abcdefgh", "", "abcdefghijklmnop  \n", 40, 3, 8, true, false},
        {"many key starts", "abcde", "", "abcdeAB \r\n", 3000, 8, 16, true, false},
        {"short starts, every end", "abcde", "", "abcdeDA  \n", 4000, 5, 16, false, true},
    };
    std::mt19937 rng(24);
    for (const Case& c : cases) {
        for (int round = 0; round < 8; ++round) {
            ContentMatcher m(c.fold, c.everyEnd);
            std::vector<std::string> keys;
            for (unsigned k = 0; k < c.keys; ++k) {
                std::string key;
                const unsigned len = c.minLength + static_cast<unsigned>(rng() % (c.maxLength - c.minLength + 1));
                while (key.size() < len)
                    key += c.keyLetters[rng() % c.keyLetters.size()];
                if (!c.rare.empty())
                    key[rng() % key.size()] = c.rare[rng() % c.rare.size()];
                keys.push_back(key);
                const auto number = static_cast<uint16_t>(c.everyEnd ? 1u << (k % 16) : 1 + rng() % 9);
                ASSERT_FALSE(m.AddKey(key, number));
            }
            m.Build();
            // Text with keys planted in it, some cut by white or in capitals.
            std::string text;
            while (text.size() < 6000) {
                if (rng() % 40 == 0) {
                    std::string key = keys[rng() % keys.size()];
                    if (rng() % 3 == 0)
                        key.insert(rng() % key.size(), rng() % 2 ? " " : "\r\n");
                    if (rng() % 3 == 0)
                        std::transform(key.begin(), key.end(), key.begin(), [](char ch) {
                            return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
                        });
                    text += key;
                } else {
                    text += c.textLetters[rng() % c.textLetters.size()];
                }
            }
            for (bool compact : {true, false}) {
                const auto bytewise = reports(m, text, 16, compact);
                EXPECT_EQ(reports(m, text, text.size(), compact), bytewise) << c.name << " round " << round;
                EXPECT_EQ(reports(m, text, 4096, compact), bytewise) << c.name << " round " << round;
                EXPECT_EQ(reports(m, text, 333, compact), bytewise) << c.name << " round " << round;
            }
        }
    }
}

} // namespace
