#include "filterdb/CanonicalUrl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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

} // namespace
