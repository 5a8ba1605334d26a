#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace proxyload {

/// Why a request did not count as a success.
enum class Failure {
    None,
    Connect, // no connection
    Send, // the request could not be sent
    Timeout, // no complete response within the request's time
    Receive, // receive error
    NoResponse, // closed without sending a byte
    BadHeader, // no status line or a header past its bound
    Status, // a status other than the expected one
    Truncated, // closed before Content-Length bytes of body came
    BodyMismatch // body differs from the expected bytes (or its length does)
};
inline constexpr int kFailureKinds = 10;

/// Short name of a failure kind, for the error lines.
const char* FailureName(Failure failure);

/// Takes a response in the pieces it arrives in and tells when it is complete: after
/// Content-Length bytes of body, else when the server closes. The body is compared
/// with the expected bytes as it comes, so nothing is kept. One per request.
class ResponseReader {
public:
    /// expectedBody: the bytes every body must equal, or null for no check; it must
    /// outlive the reader.
    ResponseReader(int expectStatus, const std::string* expectedBody);

    enum class State { NeedMore, Complete, Failed };

    /// Takes the next received bytes. Bytes past a declared length are ignored.
    State Feed(const char* data, size_t size);
    /// The server closed the connection.
    State Close();

    Failure failure() const { return m_failure; }
    int status() const { return m_status; }
    int64_t contentLength() const { return m_contentLength; }
    uint64_t bodyBytes() const { return m_bodyBytes; }

    /// Bound of a response header; a longer one fails as BadHeader.
    static constexpr size_t kMaxHeaderBytes = 64 * 1024;
    /// Bound of a body read until close when no body is expected.
    static constexpr uint64_t kMaxBodyBytes = 256ull * 1024 * 1024;

private:
    State fail(Failure failure);
    State takeBody(const char* data, size_t size);
    bool parseHeader(std::string_view header);
    State finish();

    int m_expectStatus;
    const std::string* m_expectedBody;
    std::string m_header; // until the blank line has come
    bool m_headerDone = false;
    int m_status = 0;
    int64_t m_contentLength = -1; // -1: read until close
    uint64_t m_bodyBytes = 0;
    Failure m_failure = Failure::None;
    State m_state = State::NeedMore;
};

} // namespace proxyload
