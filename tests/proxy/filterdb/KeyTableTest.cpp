#include "filterdb/KeyTable.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Numbers = std::vector<uint16_t>;

Numbers values(const KeyNumbers& n)
{
    return Numbers(n.Values().begin(), n.Values().end());
}

// Every case runs on the table as built and again after sealing it. The key table
// fuzzer checks both forms against a plain model on random keys.
class KeyTableTest : public ::testing::TestWithParam<bool> {
protected:
    void insert(std::vector<std::pair<std::string, uint16_t>> keys)
    {
        for (const auto& [key, number] : keys)
            ASSERT_FALSE(table.Insert(key, number));
        if (GetParam())
            table.Seal();
    }
    Numbers lookup(const std::string& text, bool exact = false) const
    {
        const auto r = table.LookupKeys(text, exact);
        EXPECT_TRUE(r.has_value());
        return r ? values(*r) : Numbers {};
    }
    std::vector<std::string> keys() const
    {
        std::vector<std::string> out;
        for (const KeyEntry& e : table.Entries())
            out.push_back(e.key + (e.nested ? "^" : ""));
        return out;
    }

    KeyTable table;
};

INSTANTIATE_TEST_SUITE_P(BuiltAndSealed, KeyTableTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Sealed" : "Built"; });

TEST_P(KeyTableTest, EmptyTableGivesNullAndNoMatchGivesEmptySet)
{
    EXPECT_FALSE(table.LookupKeys("anything", false).has_value());
    insert({{"example.com", 7}});
    EXPECT_EQ(lookup("other.org/x"), Numbers {});
    EXPECT_EQ(lookup(""), Numbers {});
    EXPECT_EQ(lookup("example.co"), Numbers {});
}

TEST_P(KeyTableTest, OnlyLowerCaseSchemeIsDroppedAndLettersAreLowered)
{
    insert({{"http://Example.COM/Dir", 3}, {"HTTP://Caps.org", 4}});
    EXPECT_EQ(keys(), (std::vector<std::string> {"example.com/dir", "http://caps.org"}));
    const std::vector<std::pair<std::string, Numbers>> cases = {
        {"http://EXAMPLE.com/dir/page.html", {3}},
        {"example.com/DIR", {3}},
        {"Http://example.com/dir", {}}, // the scheme stays and is lowered
        {"http://caps.org/x", {}},      // the scheme goes, so the key no longer fits
        {"HTTP://CAPS.ORG/x", {4}},
        {"hTTP://caps.org", {4}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(lookup(text), expected) << text;
}

TEST_P(KeyTableTest, SameKeyTwiceKeepsOneEntryWithBothNumbers)
{
    insert({{"ads.example", 5}, {"ADS.example", 9}, {"ads.example", 5}});
    ASSERT_EQ(table.Size(), 1u);
    EXPECT_EQ(values(table.Entries()[0].numbers), (Numbers {5, 9}));
    EXPECT_EQ(lookup("ads.example/banner"), (Numbers {5, 9}));
}

TEST_P(KeyTableTest, ShorterKeyWithSameNumberCoversLongerOnlyWhenInsertedFirst)
{
    insert({{"abc", 5}, {"abc/x", 5}});
    EXPECT_EQ(keys(), std::vector<std::string> {"abc"});

    KeyTable other;
    other.Insert("abc/x", 5);
    other.Insert("abc", 5);
    if (GetParam())
        other.Seal();
    ASSERT_EQ(other.Size(), 2u); // the longer key was not nested, so it stays
    EXPECT_FALSE(other.Entries()[1].nested);
}

TEST_P(KeyTableTest, PrefixLookupSeesShorterKeysOnlyAcrossNestedEntries)
{
    // abc/def went in before abc, so it is not nested and hides abc from behind it.
    insert({{"abc/def", 1}, {"abc", 2}, {"xyz", 3}, {"xyz/1", 4}, {"xyz/1/2", 5}, {"xyz/9", 6}});
    EXPECT_EQ(keys(), (std::vector<std::string> {"abc", "abc/def", "xyz", "xyz/1^", "xyz/1/2^", "xyz/9^"}));
    const std::vector<std::pair<std::string, Numbers>> cases = {
        {"abc/def/x", {1}},
        {"abc/de", {2}},
        {"abc", {2}},
        {"xyz/1/2/3", {5, 4, 3}}, // longest key first
        {"xyz/1/3", {4, 3}},
        {"xyz/5", {3}},
        {"xyz/99", {6, 3}},
        {"xy0", {}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(lookup(text), expected) << text;
}

TEST_P(KeyTableTest, NestedRunEndsAtFirstEntryThatIsNotNested)
{
    // b/2 is not nested (b came later), so a lookup of b/3 starting behind b/2/x
    // stops there and misses b.
    insert({{"b/2", 1}, {"b", 2}, {"b/2/x", 3}, {"b/2/y", 4}});
    EXPECT_EQ(keys(), (std::vector<std::string> {"b", "b/2", "b/2/x^", "b/2/y^"}));
    EXPECT_EQ(lookup("b/2/y/z"), (Numbers {4, 1}));
    EXPECT_EQ(lookup("b/2/z"), (Numbers {1}));
    EXPECT_EQ(lookup("b/3"), Numbers {});
    EXPECT_EQ(lookup("b/1"), (Numbers {2}));
}

TEST_P(KeyTableTest, NewKeyDropsNestedLongerKeysItCovers)
{
    insert({{"a", 2}, {"a/b", 1}, {"a/c", 1}, {"a/b/c", 3}, {"a/", 1}});
    // a/b and a/c only had number 1, which a/ now gives; a/b/c keeps its own number.
    EXPECT_EQ(keys(), (std::vector<std::string> {"a", "a/^", "a/b/c^"}));

    KeyTable merged;
    for (const auto& [k, n] : std::vector<std::pair<std::string, uint16_t>> {{"m", 2}, {"m/x", 1}, {"m/y", 3}})
        merged.Insert(k, n);
    merged.Insert("m", 1); // the same key again: its numbers grow and cover m/x
    if (GetParam())
        merged.Seal();
    const auto entries = merged.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(values(entries[0].numbers), (Numbers {2, 1}));
    EXPECT_EQ(entries[1].key, "m/y");
}

TEST_P(KeyTableTest, ExactLookupFindsOnlyTheEqualKey)
{
    insert({{"exe", 1}, {"exe2", 2}, {"com", 3}});
    const std::vector<std::pair<std::string, Numbers>> cases = {
        {"exe", {1}}, {"EXE", {1}}, {"ex", {}}, {"exe2", {2}}, {"exe3", {}}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(lookup(text, true), expected) << text;
}

TEST_P(KeyTableTest, TextEndsAtFirstNulAndOtherBytesAreKept)
{
    const std::string withNul("ab\0cd", 5);
    const std::string high = "\xff\x80key\x01";
    insert({{withNul, 1}, {high, 2}});
    EXPECT_EQ(keys(), (std::vector<std::string> {"ab", high}));
    EXPECT_EQ(lookup(std::string("ab\0zz", 5)), (Numbers {1}));
    EXPECT_EQ(lookup(high + "\xfe"), (Numbers {2}));
}

TEST_P(KeyTableTest, LongBinaryKeysWork)
{
    std::mt19937 rng(7);
    std::string big(100 * 1024, '\0');
    for (char& c : big)
        c = static_cast<char>(1 + rng() % 255);
    const std::string half = big.substr(0, big.size() / 2);
    insert({{half, 2}, {big, 1}});
    EXPECT_EQ(table.Size(), 2u);
    EXPECT_EQ(lookup(big + "tail"), (Numbers {1, 2}));
    EXPECT_EQ(lookup(half + "tail"), (Numbers {2}));
}

TEST(KeyTableSealTest, InsertAfterSealUnpacksAndKeepsEverything)
{
    KeyTable table;
    table.Insert("a", 1);
    table.Insert("a/b", 2);
    table.Seal();
    EXPECT_TRUE(table.IsSealed());
    EXPECT_FALSE(table.Insert("a/b/c", 3));
    EXPECT_FALSE(table.IsSealed());
    EXPECT_EQ(values(*table.LookupKeys("a/b/c/d", false)), (Numbers {3, 2, 1}));
    table.Seal();
    EXPECT_EQ(values(*table.LookupKeys("a/b/c/d", false)), (Numbers {3, 2, 1}));
}

TEST(KeyNumbersTest, KeepsFirstAppearanceOrderBeyondInlineCapacity)
{
    KeyNumbers n;
    for (uint16_t v : {4, 2, 4, 9, 2, 1, 65535})
        n.Add(v);
    EXPECT_EQ(values(n), (Numbers {4, 2, 9, 1, 65535}));
    EXPECT_TRUE(KeyNumbers(9).IsSubsetOf(n));
    EXPECT_FALSE(n.IsSubsetOf(KeyNumbers(9)));
    KeyNumbers m;
    m.AddAll(n);
    EXPECT_EQ(m, n);
}

} // namespace
