#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ravlin_export.h"

/// Where a download reports how far it got; a window, a terminal bar or nothing
/// implements it. Called on the downloading thread.
class RAVLIN_EXPORT ByteProgress {
public:
    virtual ~ByteProgress() = default;
    /// The size the server announced; -1 when it did not.
    virtual void SetByteRange(long long total) = 0;
    /// Body bytes received so far; 0 again when the download ends.
    virtual void SetBytePosition(long long received) = 0;
};

/// Host names of the update addresses, resolved once, in the order they were added.
class RAVLIN_EXPORT HostAddress {
public:
    /// Resolves the host of the address and appends it. False when the address does not
    /// parse, the host is in the list already or does not resolve.
    bool AddHost(const std::string& address);
    /// The IPv4 address (network byte order) stored for the name, or 0.
    uint32_t FindHost(const std::string& name) const;
    size_t size() const { return m_hosts.size(); }

private:
    std::vector<std::pair<std::string, uint32_t>> m_hosts;
};

/// Splits an http address into host, path and port. False (host and path empty) for an
/// address that is not "http://", has an empty host or a port outside 1..65535, or holds
/// a space or control byte. The port is searched in the host part only, so a colon in
/// the path is part of the path.
RAVLIN_EXPORT bool ParseHttpUrl(const std::string& address, std::string& host, std::string& path, unsigned& port);

/// What a response header says. status: the three digits of an "HTTP/1.0" or "HTTP/1.1"
/// status line, -1 without one. length: Content-Length, -1 when absent; lengthValid is
/// false when it is present but not a decimal number.
struct RAVLIN_EXPORT ResponseHead {
    int status = -1;
    bool hasLocation = false;
    std::string location;
    long long length = -1;
    bool lengthValid = true;
};
/// Reads the header up to (not including) its blank line. Field names compare without case.
RAVLIN_EXPORT ResponseHead ParseResponseHead(std::string_view header);

/// Standard base64 with "=" padding.
RAVLIN_EXPORT std::string Base64Encode(const std::string& text);

/// Bounds of one download. Anything an outside server can stretch is bounded: each
/// wait, the whole transfer, the redirects followed and the size of the body.
struct RAVLIN_EXPORT HttpLimits {
    static constexpr int kConnectTimeoutMs = 30000;
    static constexpr int kSendTimeoutMs = 30000;
    /// Longest silence while waiting for the header or the next piece of the body.
    static constexpr int kReceiveTimeoutMs = 60000;
    /// Longest whole download of one file, redirects included.
    static constexpr long long kTransferTimeMs = 30LL * 60 * 1000;
    static constexpr int kMaxRedirects = 5;
    /// Larger than any database file; a body beyond it is not one.
    static constexpr long long kMaxBodyBytes = 1LL << 30;
    /// The response header must fit into the receive buffer.
    static constexpr size_t kReceiveBufferSize = 8192;

    int connectTimeoutMs = kConnectTimeoutMs;
    int sendTimeoutMs = kSendTimeoutMs;
    int receiveTimeoutMs = kReceiveTimeoutMs;
    long long transferTimeMs = kTransferTimeMs;
    int maxRedirects = kMaxRedirects;
    long long maxBodyBytes = kMaxBodyBytes;
};

/// Results of HttpGetToFile.
enum HttpGetResult { kHttpOk = 0, kHttpFailed = 1, kHttpNotFound = 2 };

/// GETs the address with HTTP/1.0 into outputPath, directly or through proxyHost:
/// proxyPort (empty host: direct; a user name adds Basic proxy credentials). Follows
/// 301 and 302 answers. 0 only when a 200 answer arrived whole (its Content-Length, when
/// given, reached); 2 for a 404 or 403 answer; 1 for every other failure, a time limit
/// or bound of `limits` included. hosts, when given, is asked before the name lookup.
/// The output file is created anew for each answer; the caller removes it on failure.
RAVLIN_EXPORT int HttpGetToFile(ByteProgress* progress, const std::string& address, const std::string& proxyHost,
                                unsigned proxyPort, const std::string& proxyUser, const std::string& proxyPassword,
                                const std::string& outputPath, bool noCache, const HostAddress* hosts,
                                const HttpLimits& limits = HttpLimits{});
