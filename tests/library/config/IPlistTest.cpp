#include "config/IPlist.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "config/GroupList.h"
#include "support/Loopback.h"
#include "support/TempProgramDir.h"

using zpftest::Crlf;
using zpftest::TempProgramDir;

namespace {

IP parsed(const char* text)
{
    IP ip;
    ip.IPset(text);
    return ip;
}

} // namespace

TEST(IPTest, LooseParsing)
{
    struct Row {
        const char* text;
        int fields;
        const char* result; // starting from 9.9.9.9
    } rows[] = {
        {"10.1.2.3", 4, "10.1.2.3"},
        {"  addr 10.1", 2, "10.1.9.9"}, // fields the text does not reach keep their values
        {"", 0, "9.9.9.9"},
        {"no digits.at.all", 0, "9.9.9.9"},
        {"300.1.2.3", 4, "44.1.2.3"}, // modulo 256
        {"1.2.3.99999999999999999999", 4, "1.2.3.255"},
        {"-5.1.1.1", 4, "5.1.1.1"}, // the sign is skipped on the way to the first digit
        {"1.-5.1.1", 4, "1.251.1.1"},
        {"1..2.3", 4, "1.0.2.3"},
    };
    for (const auto& r : rows) {
        IP ip(9, 9, 9, 9);
        EXPECT_EQ(ip.IPset(r.text), r.fields) << r.text;
        EXPECT_EQ(ip.IPstring(), r.result) << r.text;
    }
    IP none(static_cast<const IP*>(nullptr));
    EXPECT_EQ(none.IPstring(), "0.0.0.0");
    EXPECT_EQ(IP().IPset(nullptr), 0);
}

TEST(IPTest, Expressions)
{
    struct Row {
        const char* text;
        bool valid;
    } rows[] = {
        {" 10.0.0.1 \t", true},
        {"10.0.0.1-10.0.0.9", true},
        {"10.0.0.1 - 10.0.0.9", true},
        {"999.1.1.1", true}, // numbers are not range-checked
        {"10.0.0", false},
        {"10.0.0.1-10.0", false},
        {"10.0-10.0.0.5", false}, // the first address alone has two fields
        {"", false},
        {"host.example", false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(IP::IsValidIPExpression(r.text), r.valid) << r.text;
    EXPECT_FALSE(IP::IsValidIPExpression(nullptr));
}

TEST(IPlistTest, FileLoadingAndActivation)
{
    TempProgramDir dir;
    IPlist list;
    EXPECT_TRUE(list.CheckIP(IP(1, 2, 3, 4))); // empty and inactive: everyone
    EXPECT_EQ(list.ReadFile(dir.file("iplist.cnf").c_str()), 1);
    EXPECT_FALSE(list.active);

    dir.writeBytes("iplist.cnf", Crlf("# only comments\n\n#10.0.0.1\n"));
    EXPECT_EQ(list.ReadFile(dir.file("iplist.cnf").c_str()), 0);
    EXPECT_FALSE(list.active);
    EXPECT_TRUE(list.CheckIP(IP(1, 2, 3, 4)));

    dir.writeBytes("iplist.cnf", Crlf("192.168.1.10-192.168.1.20  \n10.0.0.5\n192.168.1.30-192.168.1.25\n"));
    ASSERT_EQ(list.ReadFile(dir.file("iplist.cnf").c_str()), 0);
    EXPECT_TRUE(list.active);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].IPstring(), "10.0.0.5"); // sorted by first address
    EXPECT_EQ(list[2].IPstring(), "192.168.1.30-192.168.1.25");
    EXPECT_FALSE(list.CheckIP(IP(192, 168, 1, 27))); // inside the backwards range: none
    // A reload replaces the list rather than adding to it.
    ASSERT_EQ(list.ReadFile(dir.file("iplist.cnf").c_str()), 0);
    EXPECT_EQ(list.size(), 3u);
    EXPECT_FALSE(list.WriteFile(dir.file("out.cnf").c_str()));
    EXPECT_EQ(dir.readBytes("out.cnf"), Crlf("10.0.0.5\n192.168.1.10-192.168.1.20\n192.168.1.30-192.168.1.25\n"));
    EXPECT_TRUE(list.WriteFile(dir.file("no/such/dir/iplist.cnf").c_str()));
}

// Hundreds of random ranges, overlapping and backwards ones among them, checked against
// a plain scan, both for a list built line by line and for one read from its file.
TEST(IPlistTest, SortedLookupAgreesWithBruteForce)
{
    TempProgramDir dir;
    std::mt19937 rng(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> low(0, 7); // few first bytes, so ranges collide
    auto randomIp = [&] {
        return IP(static_cast<unsigned char>(low(rng)), static_cast<unsigned char>(byte(rng)),
                  static_cast<unsigned char>(byte(rng)), static_cast<unsigned char>(byte(rng)));
    };
    IPlist built;
    std::vector<IPrange> ranges;
    std::string file;
    for (int i = 0; i < 400; ++i) {
        IPrange r(randomIp(), randomIp());
        if (i % 10 != 0 && r.to < r.from)
            std::swap(r.from, r.to); // keep about one in ten backwards
        ranges.push_back(r);
        built.SetDataFromLine(r.IPstring().c_str());
        file += r.IPstring() + "\n";
    }
    built.active = true;
    dir.writeBytes("iplist.cnf", Crlf(file));
    IPlist loaded;
    ASSERT_EQ(loaded.ReadFile(dir.file("iplist.cnf").c_str()), 0);

    std::vector<IP> probes;
    for (const auto& r : ranges) {
        for (const IP& edge : {r.from, r.to}) {
            for (int delta : {-1, 0, 1}) {
                IP probe = edge; // at 0 or 255 the step wraps: just another address
                probe.addr[3] = static_cast<unsigned char>(probe.addr[3] + delta);
                probes.push_back(probe);
            }
        }
    }
    for (int i = 0; i < 5000; ++i)
        probes.push_back(randomIp());
    int covered = 0;
    for (const IP& ip : probes) {
        bool expected = false;
        for (const auto& r : ranges)
            expected = expected || r.Contains(ip);
        covered += expected;
        ASSERT_EQ(built.CheckIP(ip), expected) << ip.IPstring();
        ASSERT_EQ(loaded.CheckIP(ip), expected) << ip.IPstring();
        if (const IPrange* r = loaded.FindRange(ip)) {
            ASSERT_TRUE(r->Contains(ip));
        }
    }
    EXPECT_GT(covered, 100); // the probes did reach inside ranges
}

TEST(IPDatalistTest, PolicyLinesAndLookup)
{
    TempProgramDir dir;
    GroupList groups;
    groups.AddGroup("kids");
    groups.AddGroup("staff");
    dir.writeBytes("ippass.cnf", Crlf("# policy\n"
                                      "192.168.1.0-192.168.1.255;kids;2\n"
                                      "192.168.1.50\n" // exempt, but a later first address
                                      "10.0.0.0-10.0.0.255;nosuch;1\n" // unknown group: default group
                                      "10.0.0.0-10.255.255.255;staff\n" // no mode: 0
                                      "172.16.0.9-172.16.0.1\n")); // backwards: holds nothing
    IPDatalist list(&groups);
    ASSERT_EQ(list.ReadFile(dir.file("ippass.cnf").c_str()), 0);
    ASSERT_EQ(list.size(), 5u);

    struct Row {
        const char* ip;
        bool found;
        bool filterClient;
        int group, authMode;
    } rows[] = {
        {"192.168.1.7", true, true, 1, 2}, {"192.168.1.50", true, true, 1, 2}, // the earlier entry in sorted order wins
        {"10.0.0.9", true, true, 0, 1}, // same first address: file order
        {"10.9.0.9", true, true, 2, 0},    {"172.16.0.5", false, false, -7, -7},
    };
    for (const auto& r : rows) {
        bool filter = false;
        int group = -7, mode = -7;
        EXPECT_EQ(list.CheckIPData(parsed(r.ip), &filter, &group, &mode), r.found) << r.ip;
        EXPECT_EQ(filter, r.filterClient) << r.ip;
        EXPECT_EQ(group, r.group) << r.ip;
        EXPECT_EQ(mode, r.authMode) << r.ip;
    }
    EXPECT_TRUE(list.CheckIPData(IP(10, 0, 0, 1), nullptr, nullptr, nullptr));

    IPDatalist exempt(&groups);
    exempt.SetDataFromLine("192.168.1.50");
    bool filter = true;
    ASSERT_TRUE(exempt.CheckIPData(IP(192, 168, 1, 50), &filter, nullptr, nullptr));
    EXPECT_FALSE(filter);

    // Written back in canonical form; a deleted group is written with the default name.
    groups.DeleteGroup(2);
    ASSERT_FALSE(list.WriteFile(dir.file("ippass.cnf").c_str()));
    EXPECT_EQ(dir.readBytes("ippass.cnf"), Crlf("10.0.0.0-10.0.0.255;;1\n"
                                                "10.0.0.0-10.255.255.255;;0\n"
                                                "172.16.0.9-172.16.0.1\n"
                                                "192.168.1.0-192.168.1.255;kids;2\n"
                                                "192.168.1.50\n"));
    EXPECT_EQ(list.ReadFile(dir.file("missing.cnf").c_str()), 1);
    EXPECT_TRUE(list.empty());
}

TEST(IPlistTest, SocketFormsCheckThePeer)
{
    zpftest::Loopback conn;
    ASSERT_GE(conn.server, 0);
    const unsigned int fd = static_cast<unsigned int>(conn.server);
    const unsigned int bad = static_cast<unsigned int>(-1);

    IPlist list;
    list.SetDataFromLine("0.0.0.0-255.255.255.255");
    list.active = true;
    EXPECT_FALSE(list.CheckIP(bad)); // an unknown peer is not admitted, whatever the list holds

    GroupList groups;
    groups.AddGroup("local");
    IPDatalist policy(&groups);
    policy.SetDataFromLine("127.0.0.1;local;1");
    bool filter = false;
    int group = 0, mode = 0;
    EXPECT_TRUE(policy.CheckIPData(fd, &filter, &group, &mode));
    EXPECT_EQ(group, 1);
    EXPECT_EQ(mode, 1);
    group = 5;
    EXPECT_FALSE(policy.CheckIPData(bad, &filter, &group, &mode));
    EXPECT_EQ(group, 5);
}
