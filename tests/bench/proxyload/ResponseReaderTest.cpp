// Reading responses as they arrive: completion by length or close, status and body
// checks, bounds; every case is also fed split at each position.
#include <gtest/gtest.h>

#include "proxyload/ResponseReader.h"

using namespace proxyload;

namespace {

/// Body count not compared: a mismatch is found in whichever piece holds it.
constexpr uint64_t kAnyCount = UINT64_MAX;

struct Outcome {
    ResponseReader::State state;
    Failure failure;
    uint64_t bodyBytes;
    bool operator==(const Outcome& o) const
    {
        return state == o.state && failure == o.failure &&
               (bodyBytes == o.bodyBytes || bodyBytes == kAnyCount || o.bodyBytes == kAnyCount);
    }
};

std::ostream& operator<<(std::ostream& out, const Outcome& o)
{
    return out << "state " << static_cast<int>(o.state) << " failure " << FailureName(o.failure) << " body "
               << o.bodyBytes;
}

/// Feeds the response in two pieces split at `split` (npos: whole; 0 with bytewise: one
/// byte at a time), then a close when asked for and the reader still wants more.
Outcome read(const std::string& response, size_t split, bool close, const std::string* expected, bool bytewise = false)
{
    ResponseReader reader(200, expected);
    ResponseReader::State state = ResponseReader::State::NeedMore;
    if (bytewise) {
        for (size_t i = 0; i < response.size() && state == ResponseReader::State::NeedMore; ++i)
            state = reader.Feed(&response[i], 1);
    } else if (split == std::string::npos || split > response.size()) {
        state = reader.Feed(response.data(), response.size());
    } else {
        state = reader.Feed(response.data(), split);
        if (state == ResponseReader::State::NeedMore)
            state = reader.Feed(response.data() + split, response.size() - split);
    }
    if (close && state == ResponseReader::State::NeedMore)
        state = reader.Close();
    return {state, reader.failure(), reader.bodyBytes()};
}

} // namespace

TEST(ResponseReaderTest, CompletesByLengthOrCloseWhereverTheDataIsSplit)
{
    using S = ResponseReader::State;
    const std::string body = "<html>hello</html>";
    const std::string other = "<html>jello</html>";
    const std::string longer = body + "!";
    const std::string ok = "HTTP/1.0 200 OK\r\n";
    const std::string length18 = "Content-Length: 18\r\n\r\n";
    const Outcome read18{S::Complete, Failure::None, 18};
    const Outcome badHeader{S::Failed, Failure::BadHeader, 0};
    const Outcome mismatch{S::Failed, Failure::BodyMismatch, kAnyCount};
    const Outcome refusedStatus{S::Failed, Failure::Status, 0};
    struct Case {
        const char* name;
        std::string response;
        bool close;
        const std::string* expected;
        Outcome want;
    };
    const Case cases[] = {
        {"length", "HTTP/1.1 200 OK\r\n" + length18 + body, false, &body, read18},
        {"length, no check", ok + "content-length:18\r\n\r\n" + body, false, nullptr, read18},
        {"bytes past the length are ignored", ok + length18 + body + "junk", false, &body, read18},
        {"until close", ok + "Content-Type: text/html\r\n\r\n" + body, true, &body, read18},
        {"until close, still open", ok + "\r\n" + body, false, &body, {S::NeedMore, Failure::None, 18}},
        {"bare line feeds", "HTTP/1.0 200 OK\nContent-Length: 18\n\n" + body, false, &body, read18},
        {"empty body", ok + "Content-Length: 0\r\n\r\n", false, nullptr, {S::Complete, Failure::None, 0}},
        {"truncated", ok + length18 + "<html>", true, &body, {S::Failed, Failure::Truncated, 6}},
        {"other status", "HTTP/1.0 502 Bad Gateway\r\n" + length18 + body, false, &body, refusedStatus},
        {"different body", ok + length18 + other, false, &body, mismatch},
        {"body too long", ok + "\r\n" + longer, true, &body, mismatch},
        {"body too short", ok + "\r\n<html>", true, &body, {S::Failed, Failure::BodyMismatch, 6}},
        {"closed at once", "", true, &body, {S::Failed, Failure::NoResponse, 0}},
        {"closed in the header", ok + "Content-", true, &body, badHeader},
        {"not HTTP", "SSH-2.0-OpenSSH\r\n\r\n", false, nullptr, badHeader},
        {"status not a number", "HTTP/1.0 2x0 OK\r\n\r\n", false, nullptr, badHeader},
        {"negative length", ok + "Content-Length: -5\r\n\r\n", false, nullptr, badHeader},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(read(c.response, std::string::npos, c.close, c.expected), c.want) << c.name;
        EXPECT_EQ(read(c.response, 0, c.close, c.expected, true), c.want) << c.name << ", byte by byte";
        for (size_t split = 0; split <= c.response.size(); ++split)
            EXPECT_EQ(read(c.response, split, c.close, c.expected), c.want) << c.name << ", split at " << split;
    }
}

TEST(ResponseReaderTest, HeaderPastItsBoundFails)
{
    const std::string endless = "HTTP/1.0 200 OK\r\nX-Pad: " + std::string(ResponseReader::kMaxHeaderBytes, 'a');
    ResponseReader reader(200, nullptr);
    ResponseReader::State state = ResponseReader::State::NeedMore;
    // In pieces, as a server that never ends its header would send it.
    for (size_t at = 0; at < endless.size() && state == ResponseReader::State::NeedMore; at += 1000)
        state = reader.Feed(endless.data() + at, std::min<size_t>(1000, endless.size() - at));
    EXPECT_EQ(state, ResponseReader::State::Failed);
    EXPECT_EQ(reader.failure(), Failure::BadHeader);

    // The same header ended in time is read, and its body after it.
    const std::string fits = "HTTP/1.0 200 OK\r\nX-Pad: " + std::string(60000, 'a') + "\r\n\r\nbody";
    ResponseReader ok(200, nullptr);
    EXPECT_EQ(ok.Feed(fits.data(), fits.size()), ResponseReader::State::NeedMore);
    EXPECT_EQ(ok.Close(), ResponseReader::State::Complete);
    EXPECT_EQ(ok.bodyBytes(), 4u);
}
