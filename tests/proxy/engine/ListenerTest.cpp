// The listener thread in process: bind failure, sessions answered and counted, the
// session bound, and stopping with sessions that hang.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "EngineTestSupport.h"
#include "config/ConfigrationFile.h"
#include "engine/HTTPdaemonThread.h"
#include "log/AccessLogger.h"
#include "support/TempProgramDir.h"

namespace {
using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        if (condition())
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return condition();
}

class ListenerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AccessLogger::getInstance().Configure({});
        dir.writeBytes("zpf400.html", "bad request page");
        port = zpftest::FreeLoopbackPort();
        ConfigrationFileSigleton::getInstance()->Port = port;
        limits->requestWaitMs = 10000;
        limits->lingerMs = 500;
    }
    void TearDown() override
    {
        stop();
        ConfigrationFileSigleton::getInstance()->Port = 3036;
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

    zpftest::TempProgramDir dir;
    enginetest::ScopedLimits limits;
    DaemonParams params;
    std::thread thread;
    unsigned port = 0;
};

TEST_F(ListenerTest, PortInUseFailsWithCodeFive)
{
    auto holder = platform::CreateTcpSocket();
    ASSERT_TRUE(platform::BindIpv4(holder, platform::kLoopbackAddress, port));
    ASSERT_TRUE(platform::Listen(holder, 1));
    EXPECT_FALSE(start());
    EXPECT_TRUE(params.eventFailed.IsSet());
    EXPECT_EQ(params.failCode, 5);
    ASSERT_TRUE(params.eventEnded);
    EXPECT_TRUE(params.eventEnded->Wait(5000));
    thread.join();
    EXPECT_EQ(params.daemonSocket, platform::kInvalidSocket);
    platform::CloseSocket(holder);
}

TEST_F(ListenerTest, BadRequestsGetPage400AndEverySessionEnds)
{
    ASSERT_TRUE(start());
    const int before = acceptedCount.load();
    const std::vector<std::string> requests = {
        "GET /index.html HTTP/1.1\r\nHost: h\r\n\r\n",
        "GET http://h HTTP/1.1\r\n\r\n",
        "GET http://h:99999/ HTTP/1.1\r\n\r\n",
        std::string("\0\0\0\r\n\r\n", 7),
    };
    for (const auto& r : requests) {
        auto c = connect();
        ASSERT_NE(c, platform::kInvalidSocket);
        platform::SendAll(c, r.data(), r.size(), 1000);
        std::string got = enginetest::ReadAll(c);
        EXPECT_EQ(got, "HTTP/1.1 400 Bad Request\nConnection: Close\nContent-Type: text/html\n"
                       "Content-Length: 16\n\nbad request page");
        platform::CloseSocket(c);
    }
    // A proxy request for an address that does not convert, and a client that closes at once.
    for (const std::string r : {"GET http://300.1.2.3/ HTTP/1.1\r\n\r\n", ""}) {
        auto c = connect();
        platform::SendAll(c, r.data(), r.size(), 1000);
        if (!r.empty()) {
            EXPECT_EQ(enginetest::ReadAll(c).substr(0, 21), "HTTP/1.1 404 NotFound");
        }
        platform::CloseSocket(c);
    }
    // The last connection may still wait in the backlog: wait for it to be taken too.
    EXPECT_TRUE(waitFor([&] { return acceptedCount.load() - before == 6 && activeSessionCount.load() == 0; }));
    EXPECT_EQ(acceptedCount.load() - before, 6);
}

TEST_F(ListenerTest, ConnectionsOverTheBoundAreRefusedAtOnce)
{
    limits->maxSessions = 2;
    ASSERT_TRUE(start());
    std::vector<platform::SocketHandle> hanging;
    for (int i = 0; i < 2; ++i) {
        hanging.push_back(connect());
        platform::SendAll(hanging.back(), "GET", 3, 1000);
    }
    ASSERT_TRUE(waitFor([] { return activeSessionCount.load() == 2; }));
    auto extra = connect();
    std::string got = enginetest::ReadAll(extra, 2000);
    EXPECT_EQ(got.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << got;
    platform::CloseSocket(extra);
    for (auto s : hanging)
        platform::CloseSocket(s);
    EXPECT_TRUE(waitFor([] { return activeSessionCount.load() == 0; }));
}

TEST_F(ListenerTest, StopEndsHangingSessionsPromptly)
{
    ASSERT_TRUE(start());
    std::vector<platform::SocketHandle> hanging;
    for (int i = 0; i < 5; ++i) {
        hanging.push_back(connect());
        platform::SendAll(hanging.back(), "GET http://h/ HTTP/1.1\r\n", 24, 1000);
    }
    ASSERT_TRUE(waitFor([] { return activeSessionCount.load() == 5; }));
    auto begin = std::chrono::steady_clock::now();
    stop();
    EXPECT_LT(enginetest::MillisecondsSince(begin), 1000);
    EXPECT_TRUE(waitFor([] { return activeSessionCount.load() == 0; }));
    for (auto s : hanging) {
        EXPECT_EQ(enginetest::ReadAll(s, 2000), ""); // closed without an answer
        platform::CloseSocket(s);
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
    for (int i = 0; i < 200 && taken == platform::kInvalidSocket; ++i) {
        taken = shared.TakeWaiting();
        if (taken == platform::kInvalidSocket)
            std::this_thread::sleep_for(5ms);
    }
    EXPECT_NE(taken, platform::kInvalidSocket);
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
    auto elapsed = enginetest::MillisecondsSince(begin);
    EXPECT_GE(elapsed, 200);
    EXPECT_LT(elapsed, 2000);
    activeSessionCount.fetch_sub(1);
}

} // namespace
