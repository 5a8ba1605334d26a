// Responses a hostile server shapes to slip a phrase past the scan or a bound: compressed
// bodies despite the request for a plain one, bombs, unreadable codings, script and data
// types, bodies of unknown length. The installed zpf runs with the shipped sample database.
#include <gtest/gtest.h>

#include "ZpfProcess.h"
#include "support/Compress.h"
#include "support/ScriptedServer.h"

namespace {
using zpftest::Brotli;
using zpftest::Deflated;
using zpftest::Fetch;

const std::string kBlockPage = "<html><body><p>Some text and a zpf-sample-adult-phrase here.</p></body></html>\n";
const std::string kBlankPage = "<html><body><p>Before zpf-sample-blank after.</p></body></html>\n";
const std::string kBlanked = "<html><body><p>Before " + std::string(16, ' ') + " after.</p></body></html>\n";

/// A server that answers every request with header lines and body, whatever it was asked.
zpftest::ScriptedServer::Script answer(const std::string& headerLines, const std::string& body)
{
    return zpftest::Answer("HTTP/1.1 200 OK\r\n" + headerLines + "\r\n" + body);
}

std::string withLength(const std::string& body) { return "Content-Length: " + std::to_string(body.size()) + "\r\n"; }

class ScannedBodyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (zpftest::FindProgram("curl").empty())
            GTEST_SKIP() << "curl is not installed (tools/deps.sh installs it)";
    }
    /// Fetches path from a server running script, asking for compressed bodies as a browser does.
    Fetch fetch(const zpftest::ScriptedServer::Script& script, const std::string& path)
    {
        zpftest::ScriptedServer server(script);
        return zpf.curl(
            {"-H", "Accept-Encoding: gzip, deflate, br", "http://127.0.0.1:" + std::to_string(server.port) + path});
    }

    zpftest::InstalledZpf zpf;
};

TEST_F(ScannedBodyTest, ShapedResponsesAreScannedOrRefused)
{
    zpf.setSetting("AccessLog", "1");
    zpf.setSetting("DownloadSize", "100000");
    zpf.serve();
    const std::string html = "Content-Type: text/html\r\n";
    const std::string big(300000, 'b');
    struct Row {
        std::string path;
        std::string headerLines;
        std::string body;
        int page; // the page the client gets, or 0
        std::string expect; // else the body the client gets
    };
    const std::vector<Row> rows = {
        {"/gzip", html + "Content-Encoding: gzip\r\n" + withLength(Deflated(kBlockPage, 31)), Deflated(kBlockPage, 31),
         901, ""},
        {"/zlib", html + "Content-Encoding: deflate\r\n", Deflated(kBlockPage, 15), 901, ""},
        {"/br", html + "Content-Encoding: br\r\n", Brotli(kBlockPage), 901, ""},
        // A second coding line, and one folded onto the next line, still count.
        {"/second", html + "Content-Encoding: identity\r\nContent-Encoding: gzip\r\n", Deflated(kBlockPage, 31), 901,
         ""},
        {"/folded", "Content-Encoding:\r\n gzip\r\n" + html, Deflated(kBlockPage, 31), 901, ""},
        // Script and data types are scanned like pages.
        {"/json", "Content-Type: Application/JSON; charset=utf-8\r\n", kBlockPage, 901, ""},
        {"/js", "Content-Type: application/javascript\r\nContent-Encoding: br\r\n", Brotli(kBlockPage), 901, ""},
        // Codings that cannot be read are refused, not passed unscanned.
        {"/zstd", html + "Content-Encoding: zstd\r\n", kBlockPage, 901, ""},
        {"/stacked", html + "Content-Encoding: gzip, gzip\r\n", Deflated(Deflated(kBlockPage, 31), 31), 901, ""},
        {"/corrupt", html + "Content-Encoding: gzip\r\n", kBlockPage, 901, ""},
        // A clean page arrives decoded, its header without the coding and the old length.
        {"/blank", html + "Content-Encoding: gzip\r\n" + withLength(Deflated(kBlankPage, 31)), Deflated(kBlankPage, 31),
         0, kBlanked},
        // Types that are not scanned keep their coding.
        {"/image", "Content-Type: image/png\r\nContent-Encoding: gzip\r\n", Deflated(kBlockPage, 31), 0,
         Deflated(kBlockPage, 31)},
        // Only an announced length over DownloadSize is refused up front; other bodies
        // are cut at that many bytes, decoded ones too.
        {"/announced", html + withLength(big), big, 906, ""},
        {"/exact", html, big.substr(0, 100000), 0, big.substr(0, 100000)},
        {"/unknown", html, big, 0, big.substr(0, 100000)},
        {"/gzip-big", html + "Content-Encoding: gzip\r\n", Deflated(big, 31), 0, big.substr(0, 100000)},
    };
    for (const Row& r : rows) {
        const Fetch f = fetch(answer(r.headerLines, r.body), r.path);
        EXPECT_EQ(f.code, r.page ? "403" : "200") << r.path;
        EXPECT_TRUE(f.body == (r.page ? zpf.page(r.page) : r.expect)) << r.path << ": " << f.body.substr(0, 200);
        if (!r.page && r.path != "/image") {
            EXPECT_EQ(f.headers.find("Content-Encoding"), std::string::npos) << r.path << f.headers;
            EXPECT_EQ(f.headers.find("Content-Length"), std::string::npos) << r.path << f.headers;
        }
    }
    const std::string log = zpf.readBytes("zpf.log");
    for (const char* path : {"/gzip", "/zlib", "/br", "/second", "/folded", "/json", "/js"})
        EXPECT_NE(log.find(std::string(path) + ",zpf-sample,,101\r\n"), std::string::npos) << path << "\n" << log;
    for (const char* path : {"/zstd", "/stacked", "/corrupt"})
        EXPECT_NE(log.find(std::string(path) + ",(Encoding Block),"), std::string::npos) << path << "\n" << log;
}

TEST_F(ScannedBodyTest, BombsStopAtTheBound)
{
    // 70 MiB of text from 70 KB: the fixed bound cuts it at 64 MiB.
    const std::string bomb = Deflated(std::string(70u << 20, 'a'), 31);
    zpf.serve();
    Fetch f = fetch(answer("Content-Type: text/html\r\nContent-Encoding: gzip\r\n", bomb), "/bomb");
    EXPECT_EQ(f.code, "200");
    EXPECT_EQ(f.body.size(), 64u << 20);
    EXPECT_EQ(f.body.find_first_not_of('a'), std::string::npos);

    // With the group scanning a part only, what the chain holds is bounded by that part:
    // nothing has gone out, so the client gets the page of a response too large.
    zpf.stopServing();
    zpf.setSetting("FilteringSize", "100000");
    zpf.serve();
    f = fetch(answer("Content-Type: text/html\r\nContent-Encoding: gzip\r\n", bomb), "/bomb");
    EXPECT_EQ(f.code, "403");
    EXPECT_EQ(f.body, zpf.page(906));
}

} // namespace
