// Whole sessions in process against scripted servers: what the server receives,
// what the client gets, phrase chains, size limits, tunnels and faulty peers.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include "EngineTestSupport.h"
#include "config/ConfigrationFile.h"
#include "engine/FilterDecision.h"
#include "engine/HTTPServiceBody.h"
#include "engine/RequestEdits.h"
#include "filterdb/FilterDatabase.h"
#include "log/AccessLogger.h"
#include "log/TraceLog.h"
#include "support/ScriptedServer.h"
#include "support/TempProgramDir.h"

namespace {
using namespace std::chrono_literals;
using zpftest::ScriptedServer;
using Clock = std::chrono::steady_clock;

std::string response(const std::string& type, const std::string& body, bool withLength = true)
{
    std::string head = "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\n";
    if (withLength)
        head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    return head + "\r\n" + body;
}

/// A server that records the requests and answers with fixed bytes.
struct Origin {
    explicit Origin(std::string answer, int holdOpenMs = 0)
        : server(zpftest::Answer(std::move(answer), &requests, holdOpenMs))
    {
    }
    std::string request(size_t i = 0) const { return requests[i]; }
    zpftest::Requests requests;
    ScriptedServer server; // last: stopped before the requests go
};

class RelayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.writeEnciphered("category2.cnf", "1|A|0|101|Adult|adult.fdb|http://u.invalid/a\n");
        dir.writeEnciphered("adult.fdb", "adult.example/\n{blockword}\n[blankword]\n(upword)\n");
        dir.writeBytes("phrase.fdb", "\r\n");
        for (int page : {400, 404, 901, 904, 906})
            dir.writeBytes("zpf" + std::to_string(page) + ".html", "page " + std::to_string(page));
        cnf->cnfData.clear();
        cnf->SetDefaultPaths();
        (void)cnf->Initialize(); // only some of the files exist
        data().MessageFlag = 1;
        FilterDatabase::getInstance().SetErrorSink([](const std::string&) {});
        FilterDatabase::getInstance().Load(true);
        AccessLogger::getInstance().Configure({});
        limits->lingerMs = 200;
    }
    void TearDown() override { FilterDatabase::getInstance().Clear(); }
    ConfigrationFileData& data() { return cnf->cnfData[0]; }

    /// Runs one session for the request; what the client got until the session closed.
    std::string session(const std::string& request, std::shared_ptr<platform::Event> stop = nullptr,
                        const std::function<void(int client)>& whileRunning = {})
    {
        enginetest::SocketPair pair;
        pair.send(request);
        auto done = std::async(std::launch::async, [&] {
            HTTPServiceBody body(pair.server, stop);
            TraceLog trace;
            body.trace = &trace;
            RunFilterDecision(body, trace);
            platform::ShutdownSocket(pair.server, platform::ShutdownHow::Send);
            platform::CloseSocket(pair.server);
            pair.server = -1;
        });
        if (whileRunning)
            whileRunning(pair.client);
        std::string got = zpftest::ReadUntilClose(pair.client, 10000);
        done.wait();
        return got;
    }
    std::string url(unsigned port, const std::string& path = "/a") const
    {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }

    zpftest::TempProgramDir dir;
    enginetest::ScopedLimits limits;
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
};

TEST_F(RelayTest, DirectRequestIsEditedAndTheAnswerRelayed)
{
    Origin origin(response("text/html", "<p>a blankword b</p>"));
    const std::string got = session("GET " + url(origin.server.port) + " HTTP/1.1\r\nHost: h\r\n" +
                                    "Proxy-Authorization: Basic eDp5\r\nAccept-Encoding: gzip, br\r\n" +
                                    "Proxy-Connection: keep-alive\r\nConnection: keep-alive\r\n\r\n");
    EXPECT_EQ(got, response("text/html", "<p>a " + std::string(9, ' ') + " b</p>"));
    const std::string host = "Host: 127.0.0.1:" + std::to_string(origin.server.port) + "\r\n";
    EXPECT_EQ(origin.request(),
              "GET /a HTTP/1.0\r\n" + host + "Accept-Encoding: identity\r\nConnection: close\r\n\r\n");

    // Without any phrase filter in force the request keeps its encoding.
    data().UserFilter = data().DownloadReplaceFilter = data().PageBlockFilter = 0;
    session("POST " + url(origin.server.port, "/p?q") +
            " HTTP/1.0\r\nAccept-Encoding: gzip\r\n"
            "Content-Length: 4\r\n\r\nbody");
    EXPECT_EQ(origin.request(1),
              "POST /p?q HTTP/1.0\r\nAccept-Encoding: gzip\r\nContent-Length: 4\r\nConnection: close\r\n" + host +
                  "\r\nbody");
}

TEST_F(RelayTest, ResponseEndsByLengthOr304WhileTheServerStaysOpen)
{
    for (const std::string& answer : {std::string("HTTP/1.1 304 Not Modified\r\nETag: \"x\"\r\n\r\n"),
                                      response("image/png", std::string(10000, 'i')),
                                      std::string("HTTP/1.1 200 OK\r\nContent-Length: abc\r\n\r\n")}) {
        Origin origin(answer, 800);
        const auto start = Clock::now();
        EXPECT_EQ(session("GET " + url(origin.server.port) + " HTTP/1.1\r\n\r\n"), answer);
        EXPECT_LT(zpftest::MsSince(start), 600);
    }
}

TEST_F(RelayTest, DownloadSizeAndAccessLog)
{
    data().DownloadSize = 1000;
    data().AccessLog = 1;
    data().BlockLog = 0;
    Origin big(response("text/html", std::string(5000, 'x')));
    EXPECT_EQ(session("GET " + url(big.server.port) + " HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 403 Forbidden\nConnection: Close\nContent-Type: text/html\nContent-Length: 8\n\npage 906");
    // Without a length the body is counted as it passes instead.
    Origin unknown(response("text/html", "short", false));
    EXPECT_EQ(session("GET " + url(unknown.server.port) + " HTTP/1.1\r\n\r\n"), response("text/html", "short", false));
    Origin small(response("image/gif", "GIF89a"));
    EXPECT_EQ(session("GET " + url(small.server.port, "/i.gif") + " HTTP/1.1\r\n\r\n"),
              response("image/gif", "GIF89a"));
    data().MessageFlag = 0;
    EXPECT_EQ(session("GET " + url(big.server.port) + " HTTP/1.1\r\n\r\n"), "");

    // Text responses only, one line each (the port is no part of the logged url).
    const std::string log = dir.readBytes("zpf.log");
    const std::string line = ",http://127.0.0.1/a,(Access Log),";
    size_t count = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
        ++count;
    EXPECT_EQ(count, 3u) << log;
    EXPECT_EQ(log.find("/i.gif"), std::string::npos) << log;
}

TEST_F(RelayTest, PhraseBlocksOnBothSides)
{
    const std::string filler(6000, 'f');
    enum Expect { Page, Cut, Whole };
    struct Row {
        std::string body;
        long filteringSize;
        Expect expect;
    };
    const std::string late = filler + "blockword";
    const std::vector<Row> rows = {
        // A block in the first piece is answered end to end. In a later piece, with
        // nothing held back, the client already has the start, so it is cut.
        {late, 0, Cut},
        // Held back within the inspection size: still a clean page.
        {late, 8000, Page},
        // Past the inspection size the phrase is not looked for.
        {late, 2048, Whole},
    };
    for (const Row& r : rows) {
        data().FilteringSize = r.filteringSize;
        const std::string full = response("text/html", r.body);
        Origin origin(full);
        const std::string got = session("GET " + url(origin.server.port) + " HTTP/1.1\r\n\r\n");
        if (r.expect == Page) {
            EXPECT_EQ(got, "HTTP/1.1 403 Forbidden\nConnection: Close\nContent-Type: text/html\nContent-Length: 8\n\n"
                           "page 901")
                << r.filteringSize;
        } else if (r.expect == Cut) {
            EXPECT_FALSE(got.empty());
            EXPECT_LT(got.size(), full.size());
            EXPECT_EQ(full.compare(0, got.size(), got), 0);
        } else {
            EXPECT_EQ(got, full) << r.filteringSize;
        }
    }

    // A request phrase never reaches the server.
    Origin origin(response("text/html", "ok"));
    EXPECT_NE(
        session("POST " + url(origin.server.port) + " HTTP/1.0\r\nContent-Length: 6\r\n\r\nupword").find("page 904"),
        std::string::npos);
    zpftest::WaitUntil([&] { return origin.server.served() >= 1; }, 2000);
    EXPECT_EQ(origin.request(), "");

    // With Block off both only log.
    data().Block = 0;
    EXPECT_EQ(session("GET " + url(origin.server.port, "/b?upword") + " HTTP/1.0\r\n\r\n"),
              response("text/html", "ok"));
    EXPECT_NE(dir.readBytes("zpf.log").find("/b?upword,upword,,101"), std::string::npos) << dir.readBytes("zpf.log");
}

TEST_F(RelayTest, FaultyServersEndTheSessionCleanly)
{
    limits->relayWaitMs = 100;
    limits->relayIdleMs = 300;
    // Huge headers, silent closes and resets are run end to end; these hold the server.
    const std::vector<ScriptedServer::Script> scripts = {
        [](int c) { // says nothing and keeps the connection
            zpftest::ReadHttpRequest(c);
            std::this_thread::sleep_for(900ms);
        },
        [](int c) { // half a header, then silence
            zpftest::ReadHttpRequest(c);
            platform::SendAll(c, "HTTP/1.1 200", 12, 1000);
            std::this_thread::sleep_for(900ms);
        },
    };
    for (size_t i = 0; i < scripts.size(); ++i) {
        ScriptedServer server(scripts[i]);
        const auto start = Clock::now();
        EXPECT_EQ(session("GET " + url(server.port) + " HTTP/1.1\r\n\r\n"), "") << i;
        EXPECT_LT(zpftest::MsSince(start), 800) << i;
    }
    // A port nobody listens on.
    EXPECT_EQ(session("GET " + url(zpftest::FreeLoopbackPort()) + " HTTP/1.1\r\n\r\n"), "");
}

// Bytes nobody scans take another road than scanned text: they must still arrive
// whole and in order, and stop exactly at DownloadSize.
TEST_F(RelayTest, UnscannedBodiesArriveWholeOrCutAtTheDownloadSize)
{
    std::string binary(3u << 20, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>((i * 131 + i / 4099) & 0xff);
    struct Row {
        const char* type;
        size_t size;
        bool withLength;
        int64_t downloadSize; // 0: none; the body is cut to it
    };
    const Row rows[] = {
        {"application/octet-stream", binary.size(), true, 0},
        {"application/octet-stream", 300'000, false, 100'000},
        {"image/png", 5'000, false, 4'500}, // the cut falls in the first piece
        {"text/plain", 200'000, true, 0}, // scanned: 4 KiB pieces
    };
    for (const Row& row : rows) {
        data().DownloadSize = row.downloadSize;
        const std::string body = binary.substr(0, row.size);
        const std::string answer = response(row.type, body, row.withLength);
        Origin origin(answer);
        const std::string got = session("GET " + url(origin.server.port) + " HTTP/1.1\r\n\r\n");
        const size_t cut = row.downloadSize ? static_cast<size_t>(row.downloadSize) : body.size();
        EXPECT_TRUE(got == answer.substr(0, answer.size() - body.size() + cut)) << row.type << " " << got.size();
    }
}

// Scanned text larger than one receive: phrases are found wherever the pieces of a
// receive fall, the scan stops at FilteringSize, the body at DownloadSize, and what a
// block leaves the client is everything before the blocking piece.
TEST_F(RelayTest, LargeScannedTextIsScannedPieceByPiece)
{
    struct Row {
        std::vector<size_t> blank; // where "blankword" stands in the body
        size_t block; // where "blockword" stands; 0: nowhere
        long filteringSize;
        int64_t downloadSize;
        std::vector<size_t> kept; // of blank: past the scan, so not blanked
    };
    const std::vector<Row> rows = {
        {{2000, 100'000, 250'000}, 0, 1'000'000, 0, {}},
        {{2000, 30'000, 200'000}, 0, 50'000, 0, {200'000}},
        {{}, 0, 0, 150'000, {}},
        {{}, 200'000, 0, 0, {}},
    };
    for (const Row& r : rows) {
        std::string body(300'000, 'f'), want;
        for (size_t at : r.blank)
            body.replace(at, 9, "blankword");
        if (r.block)
            body.replace(r.block, 9, "blockword");
        want = body;
        for (size_t at : r.blank)
            if (std::find(r.kept.begin(), r.kept.end(), at) == r.kept.end())
                want.replace(at, 9, 9, ' ');
        data().FilteringSize = r.filteringSize;
        data().DownloadSize = r.downloadSize;
        // An announced length beyond DownloadSize is refused up front: that one goes without.
        const bool withLength = r.downloadSize == 0;
        const std::string full = response("text/html", body, withLength);
        const size_t header = full.size() - body.size();
        Origin origin(full);
        const std::string got = session("GET " + url(origin.server.port) + " HTTP/1.1\r\n\r\n");
        if (r.block) {
            EXPECT_GT(got.size(), header + r.block - 4096);
            EXPECT_LT(got.size(), full.size());
            EXPECT_EQ(full.compare(0, got.size(), got), 0);
        } else {
            const size_t length = r.downloadSize ? static_cast<size_t>(r.downloadSize) : body.size();
            EXPECT_TRUE(got == response("text/html", want, withLength).substr(0, header + length))
                << r.filteringSize << " " << got.size();
        }
    }
}

// A tunnel carries a large upload and a large download at once, byte for byte.
TEST_F(RelayTest, TunnelCarriesBothDirectionsWhole)
{
    const std::string up(2u << 20, 'u');
    std::string down(2u << 20, '\0');
    for (size_t i = 0; i < down.size(); ++i)
        down[i] = static_cast<char>(i * 7);
    std::string received;
    ScriptedServer server([&](int c) {
        std::thread sender([&] { platform::SendAll(c, down.data(), down.size(), 5000); });
        char buffer[65536];
        while (received.size() < up.size() && platform::WaitReadable(c, 5000, nullptr) == platform::WaitStatus::Ready) {
            const long n = platform::Receive(c, buffer, sizeof buffer);
            if (n <= 0)
                break;
            received.append(buffer, static_cast<size_t>(n));
        }
        sender.join();
    });
    cnf->ConnectPorts = std::to_string(server.port);
    std::thread uploader; // sends while the client reads
    const std::string got =
        session("CONNECT 127.0.0.1:" + std::to_string(server.port) + " HTTP/1.1\r\n\r\n", nullptr, [&](int client) {
            uploader = std::thread([&up, client] { platform::SendAll(client, up.data(), up.size(), 5000); });
        });
    uploader.join();
    cnf->ConnectPorts = "443";
    ASSERT_TRUE(zpftest::WaitUntil([&] { return server.served() == 1; })); // the script is done with `received`
    const size_t head = got.find("\r\n\r\n");
    ASSERT_NE(head, std::string::npos);
    EXPECT_TRUE(got.substr(head + 4) == down) << got.size() - head - 4 << " bytes down";
    EXPECT_TRUE(received == up) << received.size() << " bytes up";
}

// A client that goes away in the middle of a large download ends its relay, not the
// process: this test program does not ignore SIGPIPE.
TEST_F(RelayTest, AClientGoneMidDownloadEndsOnlyItsRelay)
{
    Origin origin(response("application/octet-stream", std::string(16u << 20, 'b')));
    enginetest::SocketPair pair;
    pair.send("GET " + url(origin.server.port) + " HTTP/1.1\r\n\r\n");
    auto done = std::async(std::launch::async, [&] {
        HTTPServiceBody body(pair.server, nullptr);
        TraceLog trace;
        body.trace = &trace;
        RunFilterDecision(body, trace);
    });
    char buffer[4096];
    ASSERT_GT(platform::Receive(pair.client, buffer, sizeof buffer), 0);
    pair.closeClient(); // with unread data: a reset
    EXPECT_EQ(done.wait_for(20s), std::future_status::ready);
}

TEST_F(RelayTest, TunnelsOutlastTheIdleTimeOfPlainRelays)
{
    limits->relayWaitMs = 100;
    limits->relayIdleMs = 300;
    limits->tunnelIdleMs = 2000;
    ScriptedServer server([](int c) {
        std::this_thread::sleep_for(700ms);
        platform::SendAll(c, "late", 4, 1000);
    });
    cnf->ConnectPorts = std::to_string(server.port);
    const std::string got = session("CONNECT 127.0.0.1:" + std::to_string(server.port) + " HTTP/1.1\r\n\r\n");
    cnf->ConnectPorts = "443";
    EXPECT_EQ(got.substr(got.size() - std::min<size_t>(got.size(), 8)), "\r\n\r\nlate");
}

TEST_F(RelayTest, StopEndsARelayThatWaits)
{
    ScriptedServer server([](int c) {
        zpftest::ReadHttpRequest(c);
        std::this_thread::sleep_for(1000ms);
    });
    auto stop = std::make_shared<platform::Event>(true);
    std::thread stopper([stop] {
        std::this_thread::sleep_for(200ms);
        stop->Set();
    });
    const auto start = Clock::now();
    EXPECT_EQ(session("GET " + url(server.port) + " HTTP/1.1\r\n\r\n", stop), "");
    EXPECT_LT(zpftest::MsSince(start), 800);
    stopper.join();
}

} // namespace
