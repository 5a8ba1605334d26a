// The byte layout of a connection's settings value, and values that lie about their lengths.
#include <gtest/gtest.h>

#include <string>

#include "proxysettings/ConnectionSettingsBlob.h"

using namespace std::string_literals;

TEST(ConnectionSettingsBlobTest, TemplateBytesFollowTheLayout)
{
    struct Case {
        uint32_t counter;
        std::string server;
        std::string bytes;
    } cases[] = {
        {1, "http=localhost:8080",
         "\x3c\0\0\0"s
         "\x01\0\0\0"s
         "\x03\0\0\0"s
         "\x13\0\0\0"s
         "http=localhost:8080"
         "\0\0\0\0"s
         "\0\0\0\0"s},
        {0x01020304, "",
         "\x3c\0\0\0"s
         "\x04\x03\x02\x01"s
         "\x01\0\0\0"s
         "\0\0\0\0"s
         "\0\0\0\0"s
         "\0\0\0\0"s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConnectionSettingsTemplate(c.counter, c.server), c.bytes) << c.server;
        EXPECT_EQ(c.bytes.size(), ConnectionSettingsBlob::kFixedSize + c.server.size());
    }
}

TEST(ConnectionSettingsBlobTest, ParsesWhatFitsAndRefusesLengthsPastTheEnd)
{
    const std::string head = "\x3c\0\0\0"s
                             "\x07\0\0\0"s
                             "\x03\0\0\0"s;
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        std::string remainder;
    } cases[] = {
        {"empty", "", false, ""},
        {"shorter than the header", head.substr(0, 11), false, ""},
        {"no first length", head, false, ""},
        {"first length past the end",
         head + "\x10\0\0\0"s
                "abc",
         false, ""},
        {"huge third length",
         head + "\0\0\0\0"s
                "\0\0\0\0"s
                "\xff\xff\xff\xff"s
                "x",
         false, ""},
        {"texts exactly fill it",
         head + "\x01\0\0\0"s
                "a"
                "\0\0\0\0"s
                "\x02\0\0\0"s
                "bc",
         true, ""},
        {"remainder kept",
         head + "\0\0\0\0"s
                "\0\0\0\0"s
                "\0\0\0\0"s
                "REST\0\xff"s,
         true, "REST\0\xff"s},
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
