// The update's own small HTTP/1.0 client: one GET per file, straight to the server or
// through the upstream proxy, the body streamed to a file block by block.
#include "update/HttpClient.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <string_view>

#include "platform/Socket.h"
#include "platform/TextFile.h"

namespace {

using Clock = std::chrono::steady_clock;

bool resolve(const std::string& host, const HostAddress* hosts, platform::Ipv4Address& out)
{
    if (hosts) {
        if (uint32_t stored = hosts->FindHost(host); stored != 0) {
            std::memcpy(out.data(), &stored, out.size());
            return true;
        }
    }
    return platform::ResolveIpv4(host, out) || platform::ParseDottedIpv4(host, out);
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The value of the first header field of this name (names compare without case); false
// when there is none.
bool headerField(std::string_view header, std::string_view name, std::string& value)
{
    size_t at = header.find("\r\n");
    while (at != std::string_view::npos && at + 2 < header.size()) {
        const size_t start = at + 2;
        const size_t end = header.find("\r\n", start);
        const std::string_view line = header.substr(start, end == std::string_view::npos ? end : end - start);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && equalsNoCase(line.substr(0, colon), name)) {
            std::string_view v = line.substr(colon + 1);
            while (!v.empty() && (v.front() == ' ' || v.front() == '\t'))
                v.remove_prefix(1);
            while (!v.empty() && (v.back() == ' ' || v.back() == '\t'))
                v.remove_suffix(1);
            value.assign(v);
            return true;
        }
        at = end;
    }
    return false;
}

// The three-digit status of an "HTTP/1.0" or "HTTP/1.1" status line; -1 when the header
// does not begin with one.
int statusOf(std::string_view header)
{
    if (header.size() < 13 || (header.substr(0, 9) != "HTTP/1.0 " && header.substr(0, 9) != "HTTP/1.1 "))
        return -1;
    const char after = header[12];
    if (after != ' ' && after != '\r' && after != '\n')
        return -1;
    int status = 0;
    for (size_t i = 9; i < 12; ++i) {
        if (header[i] < '0' || header[i] > '9')
            return -1;
        status = status * 10 + (header[i] - '0');
    }
    return status;
}

bool parseLength(const std::string& text, long long& length)
{
    if (text.empty() || text.size() > 18)
        return false;
    length = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        length = length * 10 + (c - '0');
    }
    return true;
}

class Socket {
public:
    Socket() = default;
    ~Socket() { platform::CloseSocket(m_s); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    platform::SocketHandle& handle() { return m_s; }

private:
    platform::SocketHandle m_s = platform::kInvalidSocket;
};

struct Transfer {
    ByteProgress* progress;
    const HttpLimits& limits;
    Clock::time_point deadline;

    // Milliseconds to wait at most: the limit, or less when the whole transfer's time is
    // nearly up; 0 once it is up.
    int wait(int limitMs) const
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return 0;
        return static_cast<int>(std::min<long long>(left, limitMs));
    }
    // One receive within the time limits: bytes, 0 at the end, -1 on error or timeout.
    long receive(platform::SocketHandle s, char* buf, size_t size) const
    {
        const int ms = wait(limits.receiveTimeoutMs);
        if (ms <= 0 || platform::WaitReadable(s, ms, nullptr) != platform::WaitStatus::Ready)
            return -1;
        return platform::Receive(s, buf, size);
    }
};

enum class Step { Done, Redirect };

// One request and its answer; on a redirect `address` becomes the next one.
int getOnce(Transfer& t, std::string& address, const std::string& proxyHost, unsigned proxyPort,
            const std::string& proxyUser, const std::string& proxyPassword, const std::string& outputPath, bool noCache,
            const HostAddress* hosts, Step& step)
{
    step = Step::Done;
    std::string host, path;
    unsigned port = 0;
    if (!ParseHttpUrl(address, host, path, port))
        return kHttpFailed;
    const bool viaProxy = !proxyHost.empty();
    std::string request = "GET " + (viaProxy ? address : path) + " HTTP/1.0\r\nHost: " + host + "\r\n";
    if (viaProxy && !proxyUser.empty())
        request += "Proxy-Authorization: Basic " + Base64Encode(proxyUser + ":" + proxyPassword) + "\r\n";
    if (noCache)
        request += "Cache-Control: no-cache\r\nPragma: no-cache\r\n";
    request += "\r\n";

    const std::string& connectHost = viaProxy ? proxyHost : host;
    const unsigned connectPort = viaProxy ? proxyPort : port;
    platform::Ipv4Address ip{};
    if (connectPort == 0 || connectPort > 65535 || !resolve(connectHost, hosts, ip))
        return kHttpFailed;
    Socket socket;
    platform::SocketHandle& s = socket.handle();
    s = platform::CreateTcpSocket();
    if (s == platform::kInvalidSocket ||
        !platform::ConnectIpv4(s, ip, connectPort, t.wait(t.limits.connectTimeoutMs), nullptr) ||
        !platform::SendAll(s, request.data(), request.size(), t.wait(t.limits.sendTimeoutMs)))
        return kHttpFailed;

    platform::TextFile out;
    if (!out.Open(outputPath, "w+b"))
        return kHttpFailed;

    // The header must arrive whole within one buffer.
    std::string buffer(HttpLimits::kReceiveBufferSize, '\0');
    size_t have = 0;
    size_t headerEnd = std::string::npos;
    while (headerEnd == std::string::npos) {
        if (have >= buffer.size())
            return kHttpFailed;
        const long n = t.receive(s, buffer.data() + have, buffer.size() - have);
        if (n <= 0)
            return kHttpFailed; // nothing, or a header cut short, is no answer
        have += static_cast<size_t>(n);
        headerEnd = std::string_view(buffer.data(), have).find("\r\n\r\n");
    }
    const ResponseHead head = ParseResponseHead(std::string_view(buffer.data(), headerEnd + 2));
    if (head.status == 404 || head.status == 403)
        return kHttpNotFound;
    if (head.status == 301 || head.status == 302) {
        if (!head.hasLocation)
            return kHttpFailed;
        if (head.location.starts_with("/"))
            address = "http://" + host + (port == 80 ? "" : ":" + std::to_string(port)) + head.location;
        else if (head.location.starts_with("http://"))
            address = head.location;
        else
            return kHttpFailed; // another scheme is not ours to speak
        step = Step::Redirect;
        return kHttpOk;
    }
    const long long expected = head.length;
    if (head.status != 200 || !head.lengthValid || expected > t.limits.maxBodyBytes)
        return kHttpFailed;
    if (t.progress)
        t.progress->SetByteRange(expected);

    long long received = 0;
    size_t blockStart = headerEnd + 4;
    size_t blockLength = have - blockStart;
    for (;;) {
        if (blockLength > 0) {
            received += static_cast<long long>(blockLength);
            if (received > t.limits.maxBodyBytes || (expected >= 0 && received > expected))
                return kHttpFailed;
            if (out.WriteBytes(buffer.data() + blockStart, blockLength) != blockLength)
                return kHttpFailed;
            if (t.progress)
                t.progress->SetBytePosition(received);
        }
        if (expected >= 0 && received == expected)
            break;
        const long n = t.receive(s, buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0)
            return kHttpFailed; // a silent or broken server: the file is not whole
        blockStart = 0;
        blockLength = static_cast<size_t>(n);
    }
    if (expected >= 0 && received != expected)
        return kHttpFailed;
    return out.Close() ? kHttpOk : kHttpFailed;
}

} // namespace

ResponseHead ParseResponseHead(std::string_view header)
{
    ResponseHead head;
    head.status = statusOf(header);
    head.hasLocation = headerField(header, "Location", head.location);
    std::string lengthText;
    if (headerField(header, "Content-Length", lengthText))
        head.lengthValid = parseLength(lengthText, head.length);
    if (!head.lengthValid)
        head.length = -1;
    return head;
}

bool HostAddress::AddHost(const std::string& address)
{
    std::string host, path;
    unsigned port = 0;
    if (!ParseHttpUrl(address, host, path, port) || FindHost(host) != 0)
        return false;
    platform::Ipv4Address ip{};
    if (!platform::ResolveIpv4(host, ip))
        return false;
    uint32_t stored = 0;
    std::memcpy(&stored, ip.data(), ip.size());
    m_hosts.emplace_back(host, stored);
    return true;
}

uint32_t HostAddress::FindHost(const std::string& name) const
{
    for (const auto& [host, ip] : m_hosts) {
        if (host == name)
            return ip;
    }
    return 0;
}

bool ParseHttpUrl(const std::string& address, std::string& host, std::string& path, unsigned& port)
{
    host.clear();
    path.clear();
    port = 80;
    constexpr std::string_view kScheme = "http://";
    if (address.size() <= kScheme.size() || !equalsNoCase(std::string_view(address).substr(0, kScheme.size()), kScheme))
        return false;
    for (char c : address) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
            return false; // would break the request line or add header lines
    }
    const size_t hostStart = kScheme.size();
    const size_t slash = address.find('/', hostStart);
    const std::string authority = address.substr(hostStart, slash == std::string::npos ? slash : slash - hostStart);
    const size_t colon = authority.find(':');
    std::string name = authority.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string digits = authority.substr(colon + 1);
        long long value = 0;
        if (!parseLength(digits, value) || value < 1 || value > 65535)
            return false;
        port = static_cast<unsigned>(value);
    }
    if (name.empty() || name.find_first_of("@?#") != std::string::npos)
        return false;
    host = std::move(name);
    path = slash == std::string::npos ? "/" : address.substr(slash);
    return true;
}

std::string Base64Encode(const std::string& text)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((text.size() + 2) / 3 * 4);
    for (size_t i = 0; i < text.size(); i += 3) {
        const size_t n = std::min<size_t>(3, text.size() - i);
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(text[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k)
            out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
    return out;
}

int HttpGetToFile(ByteProgress* progress, const std::string& address, const std::string& proxyHost, unsigned proxyPort,
                  const std::string& proxyUser, const std::string& proxyPassword, const std::string& outputPath,
                  bool noCache, const HostAddress* hosts, const HttpLimits& limits)
{
    Transfer t{progress, limits, Clock::now() + std::chrono::milliseconds(limits.transferTimeMs)};
    std::string current = address;
    int result = kHttpFailed;
    for (int redirects = 0; redirects <= limits.maxRedirects; ++redirects) {
        Step step = Step::Done;
        result = getOnce(t, current, proxyHost, proxyPort, proxyUser, proxyPassword, outputPath, noCache, hosts, step);
        if (step == Step::Done)
            break;
        result = kHttpFailed; // a redirect beyond the bound fails
    }
    if (progress)
        progress->SetBytePosition(0);
    return result;
}
