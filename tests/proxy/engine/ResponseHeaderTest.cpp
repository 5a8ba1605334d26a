// The response header analysis: completeness, status, type and length.
#include <gtest/gtest.h>

#include <tuple>

#include "engine/HTTPServiceBody.h"

namespace {

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
