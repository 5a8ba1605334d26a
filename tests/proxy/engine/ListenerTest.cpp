// The listener thread in process: the session bound, taking waiting connections,
// and the bounded wait for sessions at a stop. (Sessions answered, a port in use and
// a stop while sessions hang are run end to end, where a session that never ended
// would hold up the stop.)
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "EngineTestSupport.h"
#include "config/ConfigrationFile.h"
#include "engine/HTTPdaemonThread.h"
#include "log/AccessLogger.h"
#include "support/TempProgramDir.h"

namespace {
using namespace std::chrono_literals;

using zpftest::WaitUntil;

class ListenerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AccessLogger::getInstance().Configure({});
        port = zpftest::FreeLoopbackPort();
        ConfigrationFileSigleton::getInstance()->Port = port;
        limits->requestWaitMs = 10000;
        limits->lingerMs = 500;
    }
    void TearDown() override
    {
        stop();
        ConfigrationFileSigleton::getInstance()->Port = 3036;
        ConfigrationFileSigleton::getInstance()->MaxClientSession = 256;
    }
    /// Starts the listener; true once bound.
    bool start()
    {
        thread = std::thread([this] { HTTPdaemonThread(&params); });
        return platform::Event::WaitAny({&params.eventFailed, &params.eventBound}, 5000) == 1;
    }
    void stop()
    {
        if (!thread.joinable())
            return;
        if (params.eventStop)
            params.eventStop->Set();
        thread.join();
    }
    platform::SocketHandle connect() { return platform::ConnectTcp("127.0.0.1", port, 2000); }
    /// A connection from another loopback address, 127.0.0.`last`.
    platform::SocketHandle connectFrom(unsigned char last)
    {
        platform::SocketHandle s = platform::CreateTcpSocket();
        if (!platform::BindIpv4(s, {127, 0, 0, last}, 0) ||
            !platform::ConnectIpv4(s, platform::kLoopbackAddress, port, 2000, nullptr)) {
            platform::CloseSocket(s);
            return platform::kInvalidSocket;
        }
        return s;
    }

    zpftest::TempProgramDir dir;
    enginetest::ScopedLimits limits;
    DaemonParams params;
    std::thread thread;
    unsigned port = 0;
};

bool answered503(platform::SocketHandle s, int waitMs)
{
    if (platform::WaitReadable(s, waitMs, nullptr) != platform::WaitStatus::Ready)
        return false;
    return zpftest::ReadUntilClose(s, 2000).rfind("HTTP/1.1 503 ", 0) == 0; // either way of refusing
}

// Who gets in when the table is full or one client holds its share: sessions past their
// header are never ended, the one that has waited longest for its header makes room,
// and one address cannot fill the table for the others.
TEST_F(ListenerTest, AdmissionIsFairAmongClients)
{
    constexpr const char* kHalf = "GET http://127.0.0.1/ HTTP/1.0\r\nUser-Agent: ha";
    constexpr const char* kWhole = "POST http://127.0.0.1/ HTTP/1.0\r\nContent-Length: 9\r\n\r\n"; // body never comes
    struct Held {
        unsigned char from; // 127.0.0.x
        const char* sent;
    };
    struct Case {
        const char* name;
        int maxSessions;
        int perClient;
        std::vector<Held> held; // opened in this order, each admitted
        unsigned char newcomer;
        bool newcomerRefused;
        int ended; // index into held of the session ended to make room; -1: none
    };
    const Case cases[] = {
        {"full of sessions past their header: refused", 2, 256, {{1, kWhole}, {1, kWhole}}, 1, true, -1},
        {"full: the oldest half header goes", 2, 256, {{1, kHalf}, {1, kHalf}}, 1, false, 0},
        {"full: a whole header is passed over", 2, 256, {{1, kWhole}, {1, kHalf}}, 3, false, 1},
        {"an address over its share: refused", 4, 2, {{1, kHalf}, {1, kHalf}}, 1, true, -1},
        {"another address still gets in", 4, 2, {{1, kHalf}, {1, kHalf}}, 2, false, -1},
        {"full but its share taken: refused, nobody ended", 2, 1, {{1, kHalf}, {2, kHalf}}, 2, true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        limits->maxSessions = c.maxSessions;
        ConfigrationFileSigleton::getInstance()->MaxClientSession = c.perClient;
        params.eventBound.Reset();
        ASSERT_TRUE(start());
        std::vector<platform::SocketHandle> held;
        for (const Held& h : c.held) {
            held.push_back(connectFrom(h.from));
            ASSERT_NE(held.back(), platform::kInvalidSocket);
            platform::SendAll(held.back(), h.sent, std::strlen(h.sent), 1000);
            // In order: "longest waiting" is the order the listener saw them.
            const int32_t n = static_cast<int32_t>(held.size());
            ASSERT_TRUE(WaitUntil([n] { return activeSessionCount.load() == n; }));
        }
        std::this_thread::sleep_for(50ms); // the headers have been read
        platform::SocketHandle newcomer = connectFrom(c.newcomer);
        ASSERT_NE(newcomer, platform::kInvalidSocket);
        if (c.newcomerRefused) {
            EXPECT_TRUE(answered503(newcomer, 2000));
        } else {
            EXPECT_EQ(platform::WaitReadable(newcomer, 300, nullptr), platform::WaitStatus::TimedOut);
        }
        for (size_t i = 0; i < held.size(); ++i) {
            const bool ended = static_cast<int>(i) == c.ended;
            EXPECT_EQ(answered503(held[i], ended ? 2000 : 0), ended) << "held connection " << i;
            platform::CloseSocket(held[i]);
        }
        platform::CloseSocket(newcomer);
        EXPECT_TRUE(WaitUntil([] { return activeSessionCount.load() == 0; }));
        stop();
    }
}

TEST(SharedListenerTest, SessionsTakeOnlyWaitingConnectionsAndNoneOnceWithdrawn)
{
    SharedListener shared;
    shared.eventStop = std::make_shared<platform::Event>(true);
    EXPECT_EQ(shared.TakeWaiting(), platform::kInvalidSocket); // no socket yet
    shared.socket = platform::CreateTcpSocket();
    ASSERT_TRUE(platform::BindIpv4(shared.socket, platform::kLoopbackAddress, 0));
    ASSERT_TRUE(platform::Listen(shared.socket, 10));
    const unsigned port = platform::LocalPort(shared.socket);
    EXPECT_EQ(shared.TakeWaiting(), platform::kInvalidSocket); // nothing waits: no blocking

    auto client = platform::ConnectTcp("127.0.0.1", port, 2000);
    platform::SocketHandle taken = platform::kInvalidSocket;
    EXPECT_TRUE(WaitUntil([&] { return (taken = shared.TakeWaiting()) != platform::kInvalidSocket; }, 1000));
    platform::CloseSocket(taken);
    platform::CloseSocket(client);

    // Stopping, and then withdrawn: a waiting connection stays for the listener.
    auto second = platform::ConnectTcp("127.0.0.1", port, 2000);
    std::this_thread::sleep_for(50ms);
    shared.eventStop->Set();
    EXPECT_EQ(shared.TakeWaiting(), platform::kInvalidSocket);
    shared.eventStop->Reset();
    const platform::SocketHandle socket = shared.socket;
    shared.Withdraw();
    EXPECT_EQ(shared.TakeWaiting(), platform::kInvalidSocket);
    platform::CloseSocket(second);
    platform::CloseSocket(socket);
}

TEST_F(ListenerTest, ShutdownWaitForSessionsIsBounded)
{
    limits->shutdownWaitMs = 200;
    ASSERT_TRUE(start());
    activeSessionCount.fetch_add(1); // a session that never ends
    auto begin = std::chrono::steady_clock::now();
    stop();
    auto elapsed = zpftest::MsSince(begin);
    EXPECT_GE(elapsed, 200);
    EXPECT_LT(elapsed, 2000);
    activeSessionCount.fetch_sub(1);
}

} // namespace
