// Reading a request from the client: the read wait and the size bounds. (Bodies in
// later packets, a header ended by bare line feeds and a stop during the wait are run
// end to end; the request-line fuzzer resumes the header-end scan after every piece.)
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "EngineTestSupport.h"
#include "engine/FilterDecision.h"
#include "engine/HTTPServiceBody.h"
#include "log/TraceLog.h"
#include "support/TempProgramDir.h"

namespace {
using namespace std::chrono_literals;
using enginetest::SocketPair;

class ReadRequestTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        limits->requestWaitMs = 300;
        limits->maxRequestHeaderBytes = 4096;
        limits->maxRequestBytes = 16384;
    }
    int read(HTTPServiceBody& body)
    {
        TraceLog trace;
        return body.ReadRequest(trace);
    }

    enginetest::ScopedLimits limits;
    SocketPair pair;
};

// What is read of requests that are incomplete, absent or followed by more; and only a
// client that sent one whole request and nothing behind it may be closed on without
// waiting for it to close first.
TEST_F(ReadRequestTest, IncompleteOrAbsentRequestsAndQuietClients)
{
    struct Case {
        std::string sent;
        bool closeAfter;
        int expected;
        bool quiet;
    };
    const std::vector<Case> cases = {
        {"", true, 0, false}, // connects and closes at once
        {"GET http://h/ HTTP/1.1\r\nHost: h\r\n", false, 0, false}, // header never finishes
        {"GET http://h/ HTTP/1.1\r\nHost: h\r\n", true, 0, false},
        {std::string("\0\x01\x02\xff\r\n\r\n", 8), true, 8, true}, // binary bytes still end at the terminator
        // A declared body that does not all come: the request is used with what arrived.
        {"POST http://h/ HTTP/1.1\r\nContent-Length: 100\r\n\r\nabc", false, 48, false},
        {"POST http://h/ HTTP/1.1\r\nContent-Length: -5\r\n\r\n", false, 47, true},
        {"GET http://h/ HTTP/1.0\r\n\r\n", true, 26, true},
        {"POST http://h/ HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc", false, 46, true},
        {"POST http://h/ HTTP/1.0\r\nContent-Length: 3\r\n\r\nabcd", false, 46, false}, // one byte too many
        {"GET http://h/ HTTP/1.1\r\n\r\nGET http://h/next HTTP/1.1\r\n\r\n", false, 26, false}, // a next request
    };
    for (const auto& c : cases) {
        SocketPair p;
        p.send(c.sent);
        if (c.closeAfter)
            p.closeClient();
        HTTPServiceBody body(p.server, nullptr);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(read(body), c.expected) << c.sent;
        EXPECT_LT(zpftest::MsSince(start), 2000);
        EXPECT_FALSE(body.requestTooLarge);
        EXPECT_EQ(body.clientQuiet, c.quiet) << c.sent;
    }
}

TEST_F(ReadRequestTest, SizeBoundsOfHeaderAndBody)
{
    const std::string line = "GET http://h/ HTTP/1.1\r\n";
    struct Case {
        std::string sent;
        int expected;
        bool tooLarge;
    };
    auto filler = [&](size_t total) { return line + "X: " + std::string(total - line.size() - 7, 'a') + "\r\n\r\n"; };
    const std::vector<Case> cases = {
        {filler(4096), 4096, false},
        {filler(4097), 0, true},
        {line + std::string(10000, 'b'), 0, true}, // no terminator within the bound
        // A 50-byte header leaves 16334 bytes for the body; the body is not sent, so
        // the read ends after the (shortened) wait with the header alone.
        {"POST http://h/ HTTP/1.1\r\nContent-Length: 16334\r\n\r\n", 50, false},
        {"POST http://h/ HTTP/1.1\r\nContent-Length: 16335\r\n\r\n", 0, true},
        {"POST http://h/ HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n", 0, true},
    };
    for (const auto& c : cases) {
        SocketPair p;
        std::thread sender([&] { p.send(c.sent); });
        HTTPServiceBody body(p.server, nullptr);
        EXPECT_EQ(read(body), c.expected) << c.sent.substr(0, 60);
        EXPECT_EQ(body.requestTooLarge, c.tooLarge) << c.sent.substr(0, 60);
        sender.join();
    }
}

TEST_F(ReadRequestTest, RequestsOfAllSessionsShareOneBound)
{
    limits->maxHeldRequestBytes = 100;
    const std::string request = "GET http://h/ HTTP/1.1\r\nX: " + std::string(40, 'a') + "\r\n\r\n";
    const int length = static_cast<int>(request.size());
    SocketPair second;
    pair.send(request);
    second.send(request);
    {
        HTTPServiceBody held(pair.server, nullptr);
        EXPECT_EQ(read(held), length);
        HTTPServiceBody refused(second.server, nullptr);
        TraceLog trace;
        RunFilterDecision(refused, trace);
        EXPECT_TRUE(refused.requestsFull);
        char answer[64] = {};
        ASSERT_GT(::recv(second.client, answer, sizeof answer - 1, 0), 0);
        EXPECT_STREQ(std::string(answer).substr(0, 33).c_str(), "HTTP/1.1 503 Service Unavailable\n");
        // Once sent, a request no longer counts.
        held.ReleaseRequestBytes();
        SocketPair third;
        third.send(request);
        HTTPServiceBody served(third.server, nullptr);
        EXPECT_EQ(read(served), length);
    }
    EXPECT_EQ(HeldRequestBytes(), 0u);
}

TEST_F(ReadRequestTest, ADrippingHeaderGetsOneWaitInAll)
{
    std::thread sender([&] {
        for (int i = 0; i < 12; ++i) {
            pair.send("X");
            std::this_thread::sleep_for(50ms);
        }
    });
    HTTPServiceBody body(pair.server, nullptr);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read(body), 0);
    auto elapsed = zpftest::MsSince(start);
    EXPECT_GE(elapsed, 280);
    EXPECT_LT(elapsed, 800); // not the 600 ms of dripping plus a wait
    sender.join();
}

TEST_F(ReadRequestTest, TraceHoldsTheHeaderOnce)
{
    zpftest::TempProgramDir dir;
    SetTraceMode(1);
    const std::string header = "POST http://h/ HTTP/1.1\r\nContent-Length: 4\r\n\r\n";
    std::thread sender([&] {
        pair.send(header + "ab");
        std::this_thread::sleep_for(20ms);
        pair.send("cd");
    });
    HTTPServiceBody body(pair.server, nullptr);
    EXPECT_EQ(read(body), static_cast<int>(header.size()));
    sender.join();
    SetTraceMode(0);
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "[%3d] Client to zpf\r\r\n", pair.server);
    EXPECT_EQ(dir.readBytes("head.txt"), prefix + header);
}

} // namespace
