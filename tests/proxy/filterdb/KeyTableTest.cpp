#include "filterdb/KeyTable.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Numbers = std::vector<uint16_t>;

Numbers values(const KeyNumbers& n) { return Numbers(n.Values().begin(), n.Values().end()); }

// Every case runs on the table as built and again after sealing it. The key table
// fuzzer checks both forms, nested walks and inserts after a seal against a plain model
// on short random keys; these cases keep the upper-case scheme and the long keys it
// never makes.
class KeyTableTest : public ::testing::TestWithParam<bool> {
protected:
    void insert(std::vector<std::pair<std::string, uint16_t>> keys)
    {
        for (const auto& [key, number] : keys)
            ASSERT_FALSE(table.Insert(key, number));
        if (GetParam())
            table.Seal();
    }
    Numbers lookup(const std::string& text) const
    {
        const auto r = table.LookupKeys(text, false);
        EXPECT_TRUE(r.has_value());
        return r ? values(*r) : Numbers{};
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

TEST_P(KeyTableTest, OnlyLowerCaseSchemeIsDroppedAndLettersAreLowered)
{
    insert({{"http://Example.COM/Dir", 3}, {"HTTP://Caps.org", 4}});
    EXPECT_EQ(keys(), (std::vector<std::string>{"example.com/dir", "http://caps.org"}));
    const std::vector<std::pair<std::string, Numbers>> cases = {
        {"http://EXAMPLE.com/dir/page.html", {3}},
        {"Http://example.com/dir", {}}, // the scheme stays and is lowered
        {"http://caps.org/x", {}}, // the scheme goes, so the key no longer fits
        {"hTTP://caps.org", {4}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(lookup(text), expected) << text;
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
    EXPECT_EQ(lookup(big + "tail"), (Numbers{1, 2}));
    EXPECT_EQ(lookup(half + "tail"), (Numbers{2}));
}

TEST(KeyNumbersTest, KeepsFirstAppearanceOrderBeyondInlineCapacity)
{
    KeyNumbers n;
    for (uint16_t v : std::initializer_list<uint16_t>{4, 2, 4, 9, 2, 1, 65535})
        n.Add(v);
    EXPECT_EQ(values(n), (Numbers{4, 2, 9, 1, 65535}));
    EXPECT_TRUE(KeyNumbers(9).IsSubsetOf(n));
    EXPECT_FALSE(n.IsSubsetOf(KeyNumbers(9)));
    KeyNumbers m;
    m.AddAll(n);
    EXPECT_EQ(m, n);
}

} // namespace

// Tables large enough for several index tiers and storage of their own mapping, with
// many keys sharing their first 16 bytes: the sealed form answers every text as the
// built form does.
TEST(KeyTableSealTest, LargeTablesAnswerAsBuilt)
{
    struct Shape {
        const char* what;
        size_t keys;
        std::string hostStem; // hosts are the stem and a number
        int paths; // paths per host
    } shapes[] = {
        {"short hosts", 3000, "h", 1},
        {"hosts sharing 16 bytes", 20000, "www.a-long-shared-host-name-", 4},
        {"a table past the large-block size", 90000, "cdn.example", 2},
    };
    for (const auto& shape : shapes) {
        std::mt19937 rng(11);
        std::vector<std::pair<std::string, uint16_t>> keys;
        while (keys.size() < shape.keys) {
            const std::string host = shape.hostStem + std::to_string(rng() % (shape.keys / 2 + 1)) + ".jp";
            const auto number = static_cast<uint16_t>(1 + rng() % 4);
            if (rng() % 3 == 0)
                keys.emplace_back(host, number);
            for (int p = 0; p < shape.paths; ++p)
                keys.emplace_back(host + "/d" + std::to_string(rng() % 5) + (rng() % 2 ? "/" : "/x.html"),
                                  static_cast<uint16_t>(1 + rng() % 4));
        }
        KeyTable built;
        KeyTable sealed;
        for (const auto& [key, number] : keys) {
            built.Insert(key, number);
            sealed.Insert(key, number);
        }
        sealed.Seal();
        ASSERT_EQ(built.Size(), sealed.Size()) << shape.what;
        size_t hits = 0;
        for (size_t i = 0; i < keys.size(); i += 7) {
            const std::string& key = keys[i].first;
            for (const std::string& text : {key, "http://" + key + "/more?q", key.substr(0, key.size() / 2),
                                            key.substr(0, key.size() - 1) + "~", "zz" + key}) {
                for (const bool exact : {false, true}) {
                    const auto a = built.LookupKeys(text, exact);
                    const auto b = sealed.LookupKeys(text, exact);
                    ASSERT_TRUE(a && b);
                    ASSERT_EQ(values(*a), values(*b)) << shape.what << ": " << text << (exact ? " exact" : "");
                    hits += !a->Empty();
                }
            }
        }
        EXPECT_GT(hits, shape.keys / 7) << shape.what; // the texts do reach keys
    }
}

// Building a whole list at once gives the table that inserting it key by key and
// sealing gives: the same entries, numbers and nested marks, whatever the order of
// prefixes, repeats, and keys that only match once normalised.
TEST(KeyTableBuildTest, MatchesInsertingInOrder)
{
    std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {"prefix after its longer keys", {"a.jp/x/", "a.jp/y", "a.jp/", "a.jp/z", "b.jp"}},
        {"a longer key between a prefix and a later key", {"a.jp/x1", "a.jp/", "a.jp/x", "a.jp/x2", "a.jp/w"}},
        {"repeats once normalised", {"HTTP://A.jp", "http://a.jp/", "A.JP/", "a.jp", "http://A.JP"}},
        {"an empty key", {"b.jp", "http://", "a.jp", "c.jp"}},
        {"keys sharing 16 bytes",
         {"www.shared-name.jp/a/b", "www.shared-name.jp/a", "www.shared-name.jp/", "www.shared-name.jp/ab"}},
        {"nothing", {}},
    };
    std::mt19937 rng(5);
    for (int n = 0; n < 3; ++n) { // short keys over few letters meet in every way
        auto& [what, keys] = cases.emplace_back("random", std::vector<std::string>());
        for (int i = 0; i < 3000; ++i) {
            std::string key(1 + rng() % 6, 'a');
            for (char& c : key)
                c = static_cast<char>("abAB/"[rng() % 5]);
            keys.push_back(key);
        }
    }
    for (const auto& [what, keys] : cases) {
        KeyTable inserted;
        for (const auto& key : keys)
            inserted.Insert(key, 7);
        inserted.Seal();
        const std::vector<std::string_view> views(keys.begin(), keys.end());
        KeyTable built;
        built.Build(views, 7);
        ASSERT_TRUE(built.IsSealed()) << what;
        const auto a = inserted.Entries();
        const auto b = built.Entries();
        ASSERT_EQ(a.size(), b.size()) << what;
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].key, b[i].key) << what;
            EXPECT_EQ(a[i].numbers, b[i].numbers) << what << ": " << a[i].key;
            EXPECT_EQ(a[i].nested, b[i].nested) << what << ": " << a[i].key;
        }
        for (const auto& key : keys)
            EXPECT_EQ(values(*inserted.LookupKeys(key + "/q", false)), values(*built.LookupKeys(key + "/q", false)))
                << what << ": " << key;
    }
}
