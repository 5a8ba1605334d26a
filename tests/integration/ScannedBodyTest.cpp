// Responses a hostile server shapes to slip a phrase past the scan: compressed bodies
// that ignore the request for a plain one, bombs, codings the proxy cannot read, script
// and data types, and bodies of unknown length against the download bound. The origin
// is a scripted server; the installed zpf runs with the shipped sample database.
#include <gtest/gtest.h>

#include <brotli/encode.h>
#include <zlib.h>

#include "ZpfProcess.h"
#include "support/RunProgram.h"
#include "support/ScriptedServer.h"

namespace {
using zpftest::Fetch;

const std::string kBlockPage = "<html><body><p>Some text and a zpf-sample-adult-phrase here.</p></body></html>\n";
const std::string kBlankPage = "<html><body><p>Before zpf-sample-blank after.</p></body></html>\n";
const std::string kBlanked = "<html><body><p>Before " + std::string(16, ' ') + " after.</p></body></html>\n";

/// text compressed by zlib with windowBits (31 gzip, 15 zlib, -15 raw deflate).
std::string deflated(const std::string& text, int windowBits)
{
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::string brotli(const std::string& text)
{
    std::string out(BrotliEncoderMaxCompressedSize(text.size()), '\0');
    size_t size = out.size();
    EXPECT_TRUE(BrotliEncoderCompress(5, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT, text.size(),
                                      reinterpret_cast<const uint8_t*>(text.data()), &size,
                                      reinterpret_cast<uint8_t*>(out.data())));
    out.resize(size);
    return out;
}

/// A server that answers every request with header lines and body, whatever it was asked.
zpftest::ScriptedServer::Script answer(const std::string& headerLines, const std::string& body)
{
    const std::string response = "HTTP/1.1 200 OK\r\n" + headerLines + "\r\n" + body;
    return [response](platform::SocketHandle c) {
        zpftest::ReadHttpRequest(c);
        platform::SendAll(c, response.data(), response.size(), 5000);
    };
}

std::string withLength(const std::string& body) { return "Content-Length: " + std::to_string(body.size()) + "\r\n"; }

class ScannedBodyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (zpftest::FindProgram("curl").empty())
            GTEST_SKIP() << "curl is not installed (tools/deps.sh installs it)";
    }
    void startZpf()
    {
        pid = zpf.start({});
        ASSERT_TRUE(zpf.waitListening(pid)) << zpf.readBytes(zpf.lastErr) << zpf.readBytes(zpf.lastOut);
    }
    void stopZpf()
    {
        ::kill(pid, SIGTERM);
        EXPECT_EQ(zpf.wait(pid, 5000), 0);
    }
    /// Fetches path from a server running script, asking for compressed bodies as a browser does.
    Fetch fetch(const zpftest::ScriptedServer::Script& script, const std::string& path)
    {
        zpftest::ScriptedServer server(script);
        return zpf.curl(
            {"-H", "Accept-Encoding: gzip, deflate, br", "http://127.0.0.1:" + std::to_string(server.port) + path});
    }
    std::string page(int number) const { return zpf.readBytes("zpf" + std::to_string(number) + ".html"); }

    zpftest::InstalledZpf zpf;
    pid_t pid = -1;
};

TEST_F(ScannedBodyTest, CompressedBodiesAreScannedAndPassDecoded)
{
    zpf.setSetting("AccessLog", "1");
    startZpf();
    const std::string html = "Content-Type: text/html\r\n";
    struct Row {
        std::string path;
        std::string headerLines;
        std::string body;
        std::string code;
        std::string expect; // the body the client gets; empty: page 901
    };
    const std::vector<Row> rows = {
        {"/gzip", html + "Content-Encoding: gzip\r\n" + withLength(deflated(kBlockPage, 31)), deflated(kBlockPage, 31),
         "403", ""},
        {"/x-gzip", html + "Content-Encoding: x-gzip\r\n", deflated(kBlockPage, 31), "403", ""},
        {"/zlib", html + "Content-Encoding: deflate\r\n", deflated(kBlockPage, 15), "403", ""},
        {"/raw", html + "Content-Encoding: Deflate\r\n", deflated(kBlockPage, -15), "403", ""},
        {"/br", html + "Content-Encoding: br\r\n", brotli(kBlockPage), "403", ""},
        // A second coding line, and one folded onto the next line, still count.
        {"/second", html + "Content-Encoding: identity\r\nContent-Encoding: gzip\r\n", deflated(kBlockPage, 31), "403",
         ""},
        {"/folded", "Content-Encoding:\r\n gzip\r\n" + html, deflated(kBlockPage, 31), "403", ""},
        // Script and data types are scanned like pages.
        {"/json", "Content-Type: Application/JSON; charset=utf-8\r\n", kBlockPage, "403", ""},
        {"/js", "Content-Type: application/javascript\r\nContent-Encoding: br\r\n", brotli(kBlockPage), "403", ""},
        // Codings that cannot be read are refused, not passed unscanned.
        {"/zstd", html + "Content-Encoding: zstd\r\n", kBlockPage, "403", ""},
        {"/stacked", html + "Content-Encoding: gzip, gzip\r\n", deflated(deflated(kBlockPage, 31), 31), "403", ""},
        {"/corrupt", html + "Content-Encoding: gzip\r\n", kBlockPage, "403", ""},
        // A clean page arrives decoded, its header without the coding and the old length.
        {"/blank", html + "Content-Encoding: gzip\r\n" + withLength(deflated(kBlankPage, 31)), deflated(kBlankPage, 31),
         "200", kBlanked},
        {"/blank-br", "Content-Type: text/xml\r\nContent-Encoding: br\r\n", brotli(kBlankPage), "200", kBlanked},
        // Types that are not scanned keep their coding.
        {"/image", "Content-Type: image/png\r\nContent-Encoding: gzip\r\n", deflated(kBlockPage, 31), "200",
         deflated(kBlockPage, 31)},
    };
    for (const Row& r : rows) {
        const Fetch f = fetch(answer(r.headerLines, r.body), r.path);
        EXPECT_EQ(f.code, r.code) << r.path;
        EXPECT_EQ(f.body, r.expect.empty() ? page(901) : r.expect) << r.path;
        if (r.code == "200" && r.path != "/image") {
            EXPECT_EQ(f.headers.find("Content-Encoding"), std::string::npos) << r.path << f.headers;
            EXPECT_EQ(f.headers.find("Content-Length"), std::string::npos) << r.path << f.headers;
        }
    }
    const std::string log = zpf.readBytes("zpf.log");
    for (const char* path : {"/gzip", "/x-gzip", "/zlib", "/raw", "/br", "/second", "/folded", "/json", "/js"})
        EXPECT_NE(log.find(std::string(path) + ",zpf-sample,,101\r\n"), std::string::npos) << path << "\n" << log;
    for (const char* path : {"/zstd", "/stacked", "/corrupt"})
        EXPECT_NE(log.find(std::string(path) + ",(Encoding Block),"), std::string::npos) << path << "\n" << log;
    for (const char* path : {"/blank", "/blank-br"})
        EXPECT_NE(log.find(std::string(path) + ",(Access Log),"), std::string::npos) << path << "\n" << log;
}

TEST_F(ScannedBodyTest, BombsStopAtTheBound)
{
    // 70 MiB of text from 70 KB: the fixed bound cuts it at 64 MiB.
    const std::string bomb = deflated(std::string(70u << 20, 'a'), 31);
    startZpf();
    Fetch f = fetch(answer("Content-Type: text/html\r\nContent-Encoding: gzip\r\n", bomb), "/bomb");
    EXPECT_EQ(f.code, "200");
    EXPECT_EQ(f.body.size(), 64u << 20);
    EXPECT_EQ(f.body.find_first_not_of('a'), std::string::npos);

    // With the group scanning a part only, what the chain holds is bounded by that part:
    // nothing has gone out, so the client gets the page of a response too large.
    stopZpf();
    zpf.setSetting("FilteringSize", "100000");
    startZpf();
    f = fetch(answer("Content-Type: text/html\r\nContent-Encoding: gzip\r\n", bomb), "/bomb");
    EXPECT_EQ(f.code, "403");
    EXPECT_EQ(f.body, page(906));
}

TEST_F(ScannedBodyTest, DownloadSizeCountsBodiesOfUnknownLength)
{
    zpf.setSetting("DownloadSize", "100000");
    startZpf();
    const std::string text = "Content-Type: text/plain\r\n";
    const std::string big(300000, 'b');
    struct Row {
        std::string path;
        std::string headerLines;
        std::string body;
        std::string code;
        std::string expect; // empty: page 906
    };
    const std::vector<Row> rows = {
        {"/small", text, std::string(50000, 's'), "200", std::string(50000, 's')},
        {"/exact", text, std::string(100000, 'e'), "200", std::string(100000, 'e')},
        {"/unknown", text, big, "200", big.substr(0, 100000)},
        {"/image", "Content-Type: image/png\r\n", big, "200", big.substr(0, 100000)},
        {"/gzip", text + "Content-Encoding: gzip\r\n", deflated(big, 31), "200", big.substr(0, 100000)},
        {"/announced", text + withLength(big), big, "403", ""},
    };
    for (const Row& r : rows) {
        const Fetch f = fetch(answer(r.headerLines, r.body), r.path);
        EXPECT_EQ(f.code, r.code) << r.path;
        EXPECT_TRUE(f.body == (r.expect.empty() ? page(906) : r.expect)) << r.path << ": " << f.body.size();
    }
}

} // namespace
