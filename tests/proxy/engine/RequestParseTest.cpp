// Splitting request lines and finding the end of a request header; the response header
// analysis: completeness, status, type and length.
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <tuple>

#include "engine/HTTPServiceBody.h"

namespace {

struct ParseCase {
    std::string request;
    Scheme scheme;
    std::string method, host;
    int port;
    std::string path, version;
};

bool parse(HTTPServiceBody& body, const std::string& request)
{
    body.buffer = request;
    return body.ParseRequestLine();
}

TEST(RequestParseTest, ProxyRequestLines)
{
    using enum Scheme;
    const std::vector<ParseCase> cases = {
        {"GET http://www.example.com:8080/a/b.html HTTP/1.1\r\nHost: x\r\n\r\n", Http, "GET", "www.example.com", 8080,
         "/a/b.html", "HTTP/1.1"},
        {"CONNECT secure.example.com:443 HTTP/1.0\r\n\r\n", Https, "CONNECT", "secure.example.com", 443, "",
         "HTTP/1.0"},
        {"get HTTP://Host/?q=1 HTTP/1.0\n\n", Http, "get", "Host", 80, "/?q=1", "HTTP/1.0"},
        {"RETR ftp://files.example/pub/x.tgz HTTP/1.1\r\n\r\n", Ftp, "RETR", "files.example", 80, "/pub/x.tgz",
         "HTTP/1.1"},
        // Ports are read as "%i" reads them.
        {"GET http://h:0x50/ HTTP/1.1\r\n\r\n", Http, "GET", "h", 80, "/", "HTTP/1.1"},
        // CONNECT without a port goes to 80.
        {"CONNECT h HTTP/1.1\r\n\r\n", Https, "CONNECT", "h", 80, "", "HTTP/1.1"},
        // IPv6 literals keep their brackets.
        {"GET http://[::1]:8080/a HTTP/1.1\r\n\r\n", Http, "GET", "[::1]", 8080, "/a", "HTTP/1.1"},
        {"GET http://[fe80::1:2]/ HTTP/1.1\r\n\r\n", Http, "GET", "[fe80::1:2]", 80, "/", "HTTP/1.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        HTTPServiceBody b(platform::kInvalidSocket, nullptr);
        ASSERT_TRUE(parse(b, c.request));
        EXPECT_EQ(std::tie(b.request.scheme, b.request.method, b.request.host, b.request.port, b.request.path,
                           b.request.version),
                  std::tie(c.scheme, c.method, c.host, c.port, c.path, c.version));
    }
}

TEST(RequestParseTest, RequestsThatAreNotServed)
{
    // More ports the relay could not use, and lines without a "/" after the host, are
    // answered with their page in the end-to-end tests.
    const std::vector<std::string> rejected = {
        // Not proxy form, no blank, no version, another scheme.
        "GET /index.html HTTP/1.1\r\nHost: h\r\n\r\n",
        "GARBAGE\r\n\r\n",
        "GET http://h/path\r\n\r\n",
        "GET http://h",
        "GET https://h/ HTTP/1.1\r\n\r\n",
        // Ports that do not scan.
        "GET http://h:/ HTTP/1.1\r\n\r\n",
        "GET http://h:99999999999999999999/ HTTP/1.1\r\n\r\n",
        "GET http://user:pw@h/ HTTP/1.1\r\n\r\n",
        "CONNECT h:0 HTTP/1.1\r\n\r\n",
        // Brackets that hold no IPv6 address, or are followed by anything but a port.
        "GET http://[::1/ HTTP/1.1\r\n\r\n",
        "GET http://[not:an:address]/ HTTP/1.1\r\n\r\n",
        "GET http://[::1]x/ HTTP/1.1\r\n\r\n",
        // Everything after a zero byte is not looked at.
        std::string("GET http://h/ HTTP/1.1\0\r\n\r\n", 27),
        "",
    };
    for (const auto& r : rejected) {
        HTTPServiceBody b(platform::kInvalidSocket, nullptr);
        EXPECT_FALSE(parse(b, r)) << r;
    }
}

TEST(RequestParseTest, LongRequestLineParsesWithoutTrouble)
{
    std::string request = "GET http://h/" + std::string(1 << 20, 'a') + " HTTP/1.1\r\n\r\n";
    HTTPServiceBody b(platform::kInvalidSocket, nullptr);
    ASSERT_TRUE(parse(b, request));
    EXPECT_EQ(b.request.path.size(), (1u << 20) + 1);
}

TEST(RequestParseTest, HeaderEndIsTheFirstTerminator)
{
    struct Case {
        std::string data;
        size_t end;
    };
    const std::vector<Case> cases = {
        {"GET / HTTP/1.0\r\n\r\nbody", 18},
        {"GET / HTTP/1.0\n\nbody", 16},
        {"GET / HTTP/1.0\r\rbody", 16},
        {"GET / HTTP/1.0\r\nHost: a\r\n", 0},
        {"GET / HTTP/1.0\r\n\r", 0},
        {"\n\n", 2},
        {"", 0},
        // At one position the table order decides: "\r\n\r\n" before "\n\n".
        {"A\r\n\r\n\n\n", 5},
        {std::string("A\0\r\r", 4), 4},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindHeaderEnd(c.data), c.end) << c.data;
    // A later start finds the same end as long as it starts before the terminator.
    EXPECT_EQ(FindHeaderEnd("GET / HTTP/1.0\r\n\r\n", 14), 18u);
}

TEST(RequestParseTest, ContentLengthAsAtoiReadsIt)
{
    struct Case {
        std::string header;
        int64_t length;
    };
    const std::vector<Case> cases = {
        {"POST http://h/ HTTP/1.1\r\nContent-Length: 12\r\n\r\n", 12},
        {"POST http://h/ HTTP/1.1\r\ncontent-length:7\r\n\r\n", 7},
        {"POST http://h/ HTTP/1.1\nCONTENT-LENGTH :  30x\n\n", 30},
        {"POST http://h/ HTTP/1.1\r\nX-Content-Length: 5\r\n\r\n", 0},
        {"POST http://h/ HTTP/1.1\r\nContent-Length: -4\r\n\r\n", -4},
        {"POST http://h/ HTTP/1.1\r\nContent-Length: abc\r\n\r\n", 0},
        {"POST http://h/ HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n", INT64_MAX},
        {"POST http://h/ HTTP/1.1\r\n\r\n", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ContentLengthOf(c.header), c.length) << c.header;
}

TEST(RequestParseTest, IntegersScanLikePercentI)
{
    struct Case {
        std::string text;
        bool ok;
        int value;
    };
    const std::vector<Case> cases = {
        {"80/", true, 80},    {"0x50", true, 80}, {"0X1f", true, 31},       {"017", true, 15}, {"08", true, 0},
        {" 443 ", true, 443}, {"+12", true, 12},  {"-1", true, -1},         {"0x", true, 0},   {"abc", false, 0},
        {"", false, 0},       {"-", false, 0},    {"4294967296", false, 0},
    };
    for (const auto& c : cases) {
        int v = -999;
        EXPECT_EQ(ScanInteger(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
    }
}

/// The analysed fields of a received response header.
struct Analysis {
    bool complete = false;
    uint32_t headerLength = 0;
    std::string status, type;
    bool isText = true;
    int32_t length = -1;
    std::string encoding;
};

Analysis analyse(const std::string& received)
{
    HTTPServiceBody b(platform::kInvalidSocket, nullptr);
    const bool complete = b.AnalyzeResponseHeader(received);
    const ResponseInfo& r = b.response;
    return {complete, r.headerLength, r.statusText, r.contentType, r.isText, r.length, r.contentEncoding};
}

TEST(ResponseHeaderTest, StatusTypeAndLength)
{
    struct Row {
        std::string received;
        std::string status, type;
        bool isText;
        int32_t length;
        std::string encoding = "";
    };
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const std::vector<Row> rows = {
        {ok + "Content-Type: text/html; charset=UTF-8\r\nContent-Length: 12\r\n\r\nhello world!", "200 OK",
         "text/html; charset=UTF-8", true, 12},
        {"HTTP/1.0   404 Not Found\r\ncontent-type: TEXT/plain\r\n\r\n", "404 Not Found", "TEXT/plain", true, -1},
        {ok + "Content-Type: image/png\r\nContent-Length:   5000  \r\n\r\n", "200 OK", "image/png", false, 5000},
        {"HTTP/1.1 304 Not Modified\r\nContent-Length: 7\r\n\r\n", "304 Not Modified", "", true, 0},
        // atoi reading: letters give 0, 20 digits are cut to 15 and then to the field's range.
        {ok + "Content-Length: abc\r\n\r\n", "200 OK", "", true, 0},
        {ok + "Content-Length: 12345678901234567890\r\n\r\n", "200 OK", "", true, 2147483647},
        {ok + "Content-Length: -5\r\n\r\n", "200 OK", "", true, -1},
        {ok + "Content-Length: 10\r\nContent-Length: 20\r\n\r\n", "200 OK", "", true, 10},
        // Names that only contain the keywords are other headers.
        {ok + "X-Content-Length: 0\r\nX-Content-Type: text/x\r\n\r\n", "200 OK", "", true, -1},
        // No "HTTP/" at all: no status, but the other lines still count.
        {"XTTP/1.1 200 OK\nContent-Type: image/gif\n\n", "", "image/gif", false, -1},
        {"HTTP/1.1\r\n\r\n", "", "", true, -1},
        // Types a browser shows or runs as text, whatever the letter case and parameters.
        {ok + "Content-Type: Application/JSON;charset=utf-8\r\n\r\n", "200 OK", "Application/JSON;charset=utf-8", true,
         -1},
        {ok + "Content-Type: application/xhtml+xml\r\n\r\n", "200 OK", "application/xhtml+xml", true, -1},
        {ok + "Content-Type: application/javascript ; x=y\r\n\r\n", "200 OK", "application/javascript ; x=y", true, -1},
        {ok + "Content-Type: application/ecmascript\r\n\r\n", "200 OK", "application/ecmascript", true, -1},
        {ok + "Content-Type: APPLICATION/XML\r\n\r\n", "200 OK", "APPLICATION/XML", true, -1},
        {ok + "Content-Type: application/xml-dtd\r\n\r\n", "200 OK", "application/xml-dtd", false, -1},
        // A browser may go by a later type of a list or of another line.
        {ok + "Content-Type: image/gif, text/html\r\n\r\n", "200 OK", "image/gif, text/html", true, -1},
        {ok + "Content-Type: image/gif\r\nContent-Type: application/json\r\n\r\n", "200 OK", "image/gif", true, -1},
        // Every coding line counts, folded lines included, as the browser joins them.
        {ok + "Content-Encoding: identity\r\nX: y\r\ncontent-encoding:\r\n  gzip\r\n\r\n", "200 OK", "", true, -1,
         "identity,    gzip"},
    };
    for (const Row& r : rows) {
        const Analysis a = analyse(r.received);
        ASSERT_TRUE(a.complete) << r.received;
        EXPECT_EQ(std::tie(a.status, a.type, a.isText, a.length, a.encoding),
                  std::tie(r.status, r.type, r.isText, r.length, r.encoding))
            << r.received;
    }
}

TEST(ResponseHeaderTest, CompleteAtTheSecondLineFeed)
{
    EXPECT_FALSE(analyse("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n").complete);
    EXPECT_FALSE(analyse("HTTP/1.1 200 OK\r\n\r").complete);
    EXPECT_FALSE(analyse("").complete);
    const std::string head = "HTTP/1.1 200 OK\r\nA: b\r\n\r\n";
    EXPECT_EQ(analyse(head + "body\r\n\r\nmore").headerLength, head.size());
    EXPECT_EQ(analyse("HTTP/1.1 200 OK\n\r\r\nbody").headerLength, 19u);
    // A header far bigger than one receive piece is still one header.
    const std::string big = "HTTP/1.1 200 OK\r\nX-Big: " + std::string(20000, 'x') + "\r\nContent-Length: 4\r\n\r\n";
    const Analysis a = analyse(big + "body");
    EXPECT_EQ(a.headerLength, big.size());
    EXPECT_EQ(a.length, 4);
}

} // namespace
