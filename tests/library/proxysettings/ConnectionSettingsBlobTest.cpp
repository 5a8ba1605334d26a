// The byte layout of a connection's settings value, and values that lie about their lengths.
#include <gtest/gtest.h>

#include <string>

#include "proxysettings/ConnectionSettingsBlob.h"

using namespace std::string_literals;

namespace {
/// A length or counter as the value stores it: four bytes, least significant first.
std::string le(uint32_t v)
{
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}
} // namespace

TEST(ConnectionSettingsBlobTest, TemplateBytesFollowTheLayout)
{
    struct Case {
        uint32_t counter;
        std::string server;
        std::string bytes;
    } cases[] = {
        {1, "http=localhost:8080", le(0x3c) + le(1) + le(3) + le(19) + "http=localhost:8080" + le(0) + le(0)},
        {0x01020304, "", le(0x3c) + "\x04\x03\x02\x01"s + le(1) + le(0) + le(0) + le(0)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConnectionSettingsTemplate(c.counter, c.server), c.bytes) << c.server;
        EXPECT_EQ(c.bytes.size(), ConnectionSettingsBlob::kFixedSize + c.server.size());
    }
}

TEST(ConnectionSettingsBlobTest, ParsesWhatFitsAndRefusesLengthsPastTheEnd)
{
    const std::string head = le(0x3c) + le(7) + le(3);
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        std::string remainder;
    } cases[] = {
        {"empty", "", false, ""},
        {"shorter than the header", head.substr(0, 11), false, ""},
        {"no first length", head, false, ""},
        {"first length past the end", head + le(16) + "abc", false, ""},
        {"huge third length", head + le(0) + le(0) + le(0xffffffff) + "x", false, ""},
        {"texts exactly fill it", head + le(1) + "a" + le(0) + le(2) + "bc", true, ""},
        {"remainder kept", head + le(0) + le(0) + le(0) + "REST\0\xff"s, true, "REST\0\xff"s},
    };
    for (const auto& c : cases) {
        ConnectionSettingsBlob blob;
        ASSERT_EQ(ParseConnectionSettings(c.bytes, &blob), c.ok) << c.name;
        if (!c.ok)
            continue;
        EXPECT_EQ(blob.counter, 7u) << c.name;
        EXPECT_EQ(blob.remainder, c.remainder) << c.name;
        EXPECT_EQ(SerializeConnectionSettings(blob), c.bytes) << c.name;
    }
}
