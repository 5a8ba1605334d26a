#include "filterdb/FilterKey.h"
#include "filterdb/CanonicalUrl.h"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>

#include "support/TempProgramDir.h"

using zpftest::TempProgramDir;

using V = std::vector<std::string>;

TEST(FilterKeyTest, KindsAndExpansion)
{
    struct Row {
        const char* line;
        int kind;
        V strings;
    } rows[] = {
        {"[ab,][cd][ef,gh]", FilterKey::Brackets, {"abcdef", "abcdgh", "cdef", "cdgh"}},
        {"{{a,,b}}", FilterKey::Braces, {"a", "b"}},
        {"{{a,b}}", FilterKey::Braces, {"a,b"}},
        {"{a,b}{c}", FilterKey::Braces, {"ac", "bc"}},
        {"(x)junk(y,z)", FilterKey::Parentheses, {"xy", "xz"}},
        {"((a)b))", FilterKey::Parentheses, {"a)b"}},
        {"abc", FilterKey::Plain, {"abc"}},
        {"www.example.com/path", FilterKey::Plain, {"www.example.com/path"}},
        {"ab", FilterKey::Invalid, {}},
        {"\t\r\n\n", FilterKey::Invalid, {}}, // a plain key of nothing would match every URL
        {"", FilterKey::Invalid, {}},
        // A first group without its closing bracket would stand for the empty string.
        {"[abc", FilterKey::Invalid, {}},
        {"[,]", FilterKey::Invalid, {}},
        {"[a,]", FilterKey::Brackets, {"a"}},
        {"[a][b", FilterKey::Brackets, {"a"}},
    };
    for (const auto& r : rows) {
        FilterKey k = FilterKey::Parse(r.line);
        EXPECT_EQ(k.kind, r.kind) << r.line;
        EXPECT_EQ(k.strings, r.strings) << r.line;
    }
}

TEST(FilterKeyTest, ExplosiveAndHugeLinesAreBounded)
{
    std::string bomb;
    for (int i = 0; i < 20; ++i)
        bomb += "[a,b,c,d]";
    EXPECT_EQ(FilterKey::Parse(bomb).kind, FilterKey::Invalid);
    std::string manageable;
    for (int i = 0; i < 6; ++i)
        manageable += "[a,b,c,d]"; // 4096 strings: the limit itself
    EXPECT_EQ(FilterKey::Parse(manageable).strings.size(), 4096u);
    std::string wide = "[" + std::string(100000, 'x') + "]";
    EXPECT_EQ(FilterKey::Parse(wide).strings.size(), 1u);
    std::string commas = "[" + std::string(100000, ',') + "]";
    EXPECT_EQ(FilterKey::Parse(commas).kind, FilterKey::Invalid);
    std::string deep(100000, '[');
    EXPECT_EQ(FilterKey::Parse(deep).kind, FilterKey::Invalid);
}

namespace {
// The strings of a section of a key file in the current program directory, read key
// by key and, the same by kind and order, string by string.
std::vector<std::string> readSection(const std::string& name, bool enciphered, int group, const std::string& groupName)
{
    CAtFilterKeyFileReader reader(name, enciphered);
    std::vector<std::string> out;
    std::vector<std::pair<int, std::string>> byKey;
    std::vector<std::pair<int, std::string>> byString;
    const bool read =
        CAtFilterKeyFileReader(name, enciphered).forEachString(group, groupName, [&](int kind, std::string_view s) {
            byString.emplace_back(kind, s);
        });
    const auto* keys = reader.readToList(group, groupName);
    EXPECT_EQ(read, keys != nullptr);
    if (!keys)
        return {"<null>"};
    for (const auto& k : *keys)
        for (const auto& s : k.strings) {
            out.push_back(s);
            byKey.emplace_back(k.kind, s);
        }
    EXPECT_EQ(byKey, byString) << name;
    return out;
}
} // namespace

TEST(KeyFileReaderTest, SectionsOfAPlainFile)
{
    TempProgramDir dir;
    dir.writeBytes("phrase.fdb", "\r\nzero\r\nab\r\n%Kids%\r\nkid1 \t\r\n%Other%\r\nother\r\n%Kids%extra\r\nkid2\r\n"
                                 "%Kids\r\nkid3\r\n");
    EXPECT_EQ(readSection("phrase.fdb", false, 0, ""), V{"zero"});
    // The first section ends at the next "%" line; later blocks of the same name are not read.
    EXPECT_EQ(readSection("phrase.fdb", false, 1, "Kids"), V{"kid1"});
    EXPECT_EQ(readSection("phrase.fdb", false, 2, "Other"), V{"other"});
    EXPECT_EQ(readSection("phrase.fdb", false, 3, "Nobody"), V{});
    // A whole-file read treats "%" lines as keys.
    EXPECT_EQ(readSection("phrase.fdb", false, -1, ""),
              (V{"zero", "%Kids%", "kid1", "%Other%", "other", "%Kids%extra", "kid2", "%Kids", "kid3"}));
    EXPECT_EQ(readSection("missing.fdb", false, 0, ""), V{"<null>"});

    dir.writeBytes("b.fdb", "%Kids%extra\r\nx-one\r\n");
    EXPECT_EQ(readSection("b.fdb", false, 1, "Kids"), V{"x-one"});
    dir.writeBytes("c.fdb", "%Kids\r\nx-two\r\n");
    EXPECT_EQ(readSection("c.fdb", false, 1, "Kids"), V{"x-two"});
}

TEST(KeyFileReaderTest, EncipheredFileStopsAtTheEndMarkerAndReportsOpenErrors)
{
    TempProgramDir dir;
    std::string body =
        "site.example/ads\n{bad,evil}\nab\n[x]\n%notasection\n*** End of filtering database. ***\nafter\n";
    dir.writeEnciphered("cat1.fdb", body);
    EXPECT_EQ(readSection("cat1.fdb", true, -1, ""), (V{"site.example/ads", "bad", "evil", "x", "%notasection"}));

    std::vector<std::string> errors;
    CAtFilterKeyFileReader missing("gone.fdb", true, [&](const std::string& e) { errors.push_back(e); });
    EXPECT_EQ(missing.readToList(-1, ""), nullptr);
    CAtFilterKeyFileReader missingPlain("gone.fdb", false, [&](const std::string& e) { errors.push_back(e); });
    EXPECT_EQ(missingPlain.readToList(2, "x"), nullptr);
    EXPECT_EQ(errors, (V{"gone.fdb[-1] Open Error - CAtFilterKeyFileReader::readToListFromDESFile()",
                         "gone.fdb Open Error - CAtFilterKeyFileReader::readToListFromPlainFile()"}));
}

TEST(KeyFileReaderTest, LongPlainLinesArriveInPieces)
{
    TempProgramDir dir;
    dir.writeBytes("long.fdb", std::string(5000, 'k') + "\n");
    auto got = readSection("long.fdb", false, -1, "");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].size(), 2047u);
    EXPECT_EQ(got[2].size(), 5000u - 2 * 2047u);
}

// Each spelling a client could use to walk past a key, and what must stay apart.
TEST(CanonicalUrlTest, OneSpellingPerUrl)
{
    const struct {
        const char* url;
        const char* canonical;
        const char* extension; // empty: none
    } cases[] = {
        {"http://Adult.Example./secret/", "adult.example/secret/", ""},
        {"https://host", "host/", ""},
        {"ftp://host/a/./b/../c.exe", "host/a/c.exe", "exe"},
        {"http://h/%73ecret/%7e%2D%5f", "h/secret/~-_", ""},
        {"http://h/a%2Fb%20c", "h/a%2Fb%20c", ""}, // reserved and other escapes stay
        {"http://h/%%34%31", "h/%%341", ""}, // no new escape is made from a stray "%"
        {"http://h//secret///x/", "h/secret/x/", ""},
        {"http://h/ok/../../secret/.", "h/secret/", ""},
        {"http://h/%2e%2e/a/%2E", "h/a/", ""},
        {"http://h/file.exe?x=1#f", "h/file.exe?x=1", "exe"},
        {"http://h/file.ex%65?a=%62/../", "h/file.exe?a=b/../", "exe"},
        {"http://h/dir.d/file", "h/dir.d/file", ""},
        {"http://127.1/", "127.0.0.1/", ""},
        {"http://2130706433/", "127.0.0.1/", ""},
        {"http://0177.0.0.1/", "127.0.0.1/", ""},
        {"http://0x7f.0.0.1/", "127.0.0.1/", ""},
        {"http://127.000.000.001./", "127.0.0.1/", ""},
        {"http://10.1.65535/", "10.1.255.255/", ""},
        {"http://256.1/", "256.1/", ""}, // not an address inet_aton reads
        {"http://08.1/", "08.1/", ""},
        {"http://1.2.3.4.5/", "1.2.3.4.5/", ""},
        {"http://U@Host.:8080/", "U@host:8080/", ""},
        {"http://[::1]:8080/a", "[::1]:8080/a", ""},
        {"host/a//b", "host/a/b", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        const std::string canonical = CanonicalUrl(c.url);
        EXPECT_EQ(canonical, c.canonical);
        EXPECT_EQ(CanonicalUrl(canonical), canonical);
        EXPECT_EQ(CanonicalExtension(canonical).value_or(""), c.extension);
    }
}
