// The listener thread in process: the session bound, taking waiting connections,
// and the bounded wait for sessions at a stop. (Sessions answered, a port in use and
// a stop while sessions hang are run end to end, where a session that never ended
// would hold up the stop.)
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

TEST_F(ListenerTest, ConnectionsOverTheBoundAreRefusedAtOnce)
{
    limits->maxSessions = 2;
    ASSERT_TRUE(start());
    std::vector<platform::SocketHandle> hanging;
    for (int i = 0; i < 2; ++i) {
        hanging.push_back(connect());
        platform::SendAll(hanging.back(), "GET", 3, 1000);
    }
    ASSERT_TRUE(WaitUntil([] { return activeSessionCount.load() == 2; }));
    auto extra = connect();
    std::string got = zpftest::ReadUntilClose(extra, 2000);
    EXPECT_EQ(got.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << got;
    platform::CloseSocket(extra);
    for (auto s : hanging)
        platform::CloseSocket(s);
    EXPECT_TRUE(WaitUntil([] { return activeSessionCount.load() == 0; }));
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
