// Reading one HTTP/1.0 response: status line, length, body check, completion.
#include "proxyload/ResponseReader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <strings.h>

namespace proxyload {

const char* FailureName(Failure failure)
{
    switch (failure) {
    case Failure::None:
        return "none";
    case Failure::Connect:
        return "connect";
    case Failure::Send:
        return "send";
    case Failure::Timeout:
        return "timeout";
    case Failure::Receive:
        return "receive";
    case Failure::NoResponse:
        return "no-response";
    case Failure::BadHeader:
        return "header";
    case Failure::Status:
        return "status";
    case Failure::Truncated:
        return "truncated";
    case Failure::BodyMismatch:
        return "body";
    }
    return "?";
}

ResponseReader::ResponseReader(int expectStatus, const std::string* expectedBody)
    : m_expectStatus(expectStatus)
    , m_expectedBody(expectedBody)
{
}

ResponseReader::State ResponseReader::fail(Failure failure)
{
    m_failure = failure;
    m_state = State::Failed;
    return m_state;
}

bool ResponseReader::parseHeader(std::string_view header)
{
    // "HTTP/1.x NNN ..." on the first line.
    if (header.size() < 12 || header.substr(0, 5) != "HTTP/")
        return false;
    const size_t blank = header.find(' ');
    if (blank == std::string_view::npos || blank + 4 > header.size())
        return false;
    auto [end, ec] = std::from_chars(header.data() + blank + 1, header.data() + blank + 4, m_status);
    if (ec != std::errc() || end != header.data() + blank + 4)
        return false;

    constexpr std::string_view kLength = "content-length:";
    for (size_t line = header.find('\n'); line != std::string_view::npos; line = header.find('\n', line)) {
        ++line;
        if (header.size() - line < kLength.size() ||
            ::strncasecmp(header.data() + line, kLength.data(), kLength.size()) != 0)
            continue;
        size_t p = line + kLength.size();
        while (p < header.size() && (header[p] == ' ' || header[p] == '\t'))
            ++p;
        int64_t value = -1;
        auto [e, err] = std::from_chars(header.data() + p, header.data() + header.size(), value);
        if (err != std::errc() || value < 0 || e == header.data() + p)
            return false;
        m_contentLength = value;
    }
    return true;
}

ResponseReader::State ResponseReader::takeBody(const char* data, size_t size)
{
    if (m_contentLength >= 0)
        size = static_cast<size_t>(std::min<uint64_t>(size, static_cast<uint64_t>(m_contentLength) - m_bodyBytes));
    if (m_expectedBody) {
        const std::string& want = *m_expectedBody;
        if (m_bodyBytes + size > want.size() || std::memcmp(want.data() + m_bodyBytes, data, size) != 0)
            return fail(Failure::BodyMismatch);
    } else if (m_bodyBytes + size > kMaxBodyBytes) {
        return fail(Failure::BodyMismatch);
    }
    m_bodyBytes += size;
    if (m_contentLength >= 0 && m_bodyBytes == static_cast<uint64_t>(m_contentLength))
        return finish();
    return State::NeedMore;
}

ResponseReader::State ResponseReader::finish()
{
    if (m_expectedBody && m_bodyBytes != m_expectedBody->size())
        return fail(Failure::BodyMismatch);
    m_state = State::Complete;
    return m_state;
}

ResponseReader::State ResponseReader::Feed(const char* data, size_t size)
{
    if (m_state != State::NeedMore)
        return m_state;
    if (m_headerDone)
        return takeBody(data, size);

    const size_t before = m_header.size();
    m_header.append(data, std::min(size, kMaxHeaderBytes + 4 - before));
    // Look for the blank line from a little before the new bytes, which may finish one.
    const size_t from = before >= 3 ? before - 3 : 0;
    size_t end = m_header.find("\r\n\r\n", from);
    size_t endLength = 4;
    const size_t bare = m_header.find("\n\n", from);
    if (bare != std::string::npos && (end == std::string::npos || bare < end)) {
        end = bare;
        endLength = 2;
    }
    if (end == std::string::npos) {
        if (m_header.size() > kMaxHeaderBytes)
            return fail(Failure::BadHeader);
        return State::NeedMore;
    }
    const size_t headerSize = end + endLength;
    if (headerSize > kMaxHeaderBytes || !parseHeader(std::string_view(m_header).substr(0, headerSize)))
        return fail(Failure::BadHeader);
    m_headerDone = true;
    if (m_status != m_expectStatus)
        return fail(Failure::Status);
    // What came after the header in this piece is body; the header buffer may have
    // been cut at its bound, so take it from the caller's bytes.
    const size_t bodyInPiece = before + size - headerSize;
    m_header.resize(headerSize);
    if (m_contentLength == 0)
        return finish();
    if (bodyInPiece == 0)
        return State::NeedMore;
    return takeBody(data + (size - bodyInPiece), bodyInPiece);
}

ResponseReader::State ResponseReader::Close()
{
    if (m_state != State::NeedMore)
        return m_state;
    if (!m_headerDone)
        return fail(m_header.empty() ? Failure::NoResponse : Failure::BadHeader);
    if (m_contentLength >= 0)
        return fail(Failure::Truncated);
    return finish();
}

} // namespace proxyload
