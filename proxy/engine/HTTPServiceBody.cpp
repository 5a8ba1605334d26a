// The session object: reading a client's request and splitting its request line.
#include "engine/HTTPServiceBody.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstring>
#include <limits>
#include <strings.h>

#include "engine/EngineLimits.h"
#include "engine/HTTPdaemonThread.h"
#include "engine/SessionStart.h"
#include "log/TraceLog.h"

const char* const kSchemeNames[3] = {"http", "ftp", "https"};

namespace {
constexpr std::string_view kTerminators[] = {"\r\n\r\n", "\r\r", "\n\n"};
constexpr size_t kReceiveSize = 4096;

std::atomic<size_t> heldRequestBytes{0};

/// Counts n more bytes against the shared bound; false (counting nothing) when they
/// do not fit.
bool holdBytes(size_t n, size_t bound)
{
    size_t held = heldRequestBytes.load(std::memory_order_relaxed);
    do {
        if (n > bound || held > bound - n)
            return false;
    } while (!heldRequestBytes.compare_exchange_weak(held, held + n, std::memory_order_relaxed));
    return true;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && ::strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
} // namespace

HTTPServiceBody::HTTPServiceBody(SessionStart& start)
    : HTTPServiceBody(start.clientSocket, start.eventStop)
{
    if (start.listener) {
        m_table = &start.listener->sessions;
        m_ticket = &start.ticket;
    }
    // The accept told the address already.
    if (start.peer.known) {
        m_clientAddress = start.peer.address;
        m_clientAsked = true;
    }
}

HTTPServiceBody::HTTPServiceBody(platform::SocketHandle socket, std::shared_ptr<platform::Event> stop)
    : eventStop(std::move(stop))
    , clientSocket(socket)
{
}

HTTPServiceBody::~HTTPServiceBody() { ReleaseRequestBytes(); }

void HTTPServiceBody::ReleaseRequestBytes()
{
    heldRequestBytes.fetch_sub(m_heldBytes, std::memory_order_relaxed);
    m_heldBytes = 0;
}

size_t HeldRequestBytes() { return heldRequestBytes.load(std::memory_order_relaxed); }

const platform::Ipv4Address* HTTPServiceBody::ClientAddress()
{
    if (!m_clientAsked) {
        m_clientAsked = true;
        platform::Ipv4Address address{};
        if (platform::PeerAddress(clientSocket, address))
            m_clientAddress = address;
    }
    return m_clientAddress ? &*m_clientAddress : nullptr;
}

size_t FindHeaderEnd(std::string_view data, size_t from)
{
    for (size_t pos = from; pos < data.size(); ++pos) {
        if (data[pos] != '\r' && data[pos] != '\n')
            continue;
        for (std::string_view t : kTerminators) {
            if (data.compare(pos, t.size(), t) == 0)
                return pos + t.size();
        }
    }
    return 0;
}

int64_t ContentLengthOf(std::string_view header)
{
    constexpr std::string_view kName = "content-length";
    for (size_t line = 0; line < header.size();) {
        if (startsWithNoCase(header.substr(line), kName)) {
            size_t p = line + kName.size();
            while (p < header.size() && (header[p] == ' ' || header[p] == '\t'))
                ++p;
            if (p < header.size() && header[p] == ':') {
                // atoi: blanks, an optional sign, then digits up to the first other byte.
                ++p;
                while (p < header.size() && isBlank(header[p]))
                    ++p;
                bool negative = false;
                if (p < header.size() && (header[p] == '+' || header[p] == '-'))
                    negative = header[p++] == '-';
                int64_t value = 0;
                for (; p < header.size() && header[p] >= '0' && header[p] <= '9'; ++p) {
                    if (value > (std::numeric_limits<int64_t>::max() - 9) / 10) {
                        value = std::numeric_limits<int64_t>::max();
                        break;
                    }
                    value = value * 10 + (header[p] - '0');
                }
                return negative ? -value : value;
            }
        }
        size_t next = header.find_first_of("\r\n", line);
        if (next == std::string_view::npos)
            break;
        line = next + 1;
    }
    return 0;
}

bool ScanInteger(std::string_view text, int& value)
{
    size_t p = 0;
    while (p < text.size() && isBlank(text[p]))
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-'))
        negative = text[p++] == '-';
    int base = 10;
    if (p < text.size() && text[p] == '0') {
        if (p + 1 < text.size() && (text[p + 1] == 'x' || text[p + 1] == 'X')) {
            if (p + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[p + 2]))) {
                base = 16;
                p += 2;
            } else {
                value = 0; // "0x" with no digit after it reads as the 0
                return true;
            }
        } else {
            base = 8;
        }
    }
    long long parsed = 0;
    const char* first = text.data() + p;
    const char* last = text.data() + text.size();
    auto [end, ec] = std::from_chars(first, last, parsed, base);
    if (ec != std::errc() || end == first)
        return false;
    if (negative)
        parsed = -parsed;
    if (parsed < std::numeric_limits<int>::min() || parsed > std::numeric_limits<int>::max())
        return false;
    value = static_cast<int>(parsed);
    return true;
}

int HTTPServiceBody::ReadRequest(TraceLog& traceLog)
{
    const EngineLimits& limits = engineLimits();
    buffer.clear();
    ReleaseRequestBytes();
    headerLength = 0;
    requestTooLarge = requestsFull = endedForRoom = clientQuiet = false;
    int64_t bodyLength = -1; // unknown until the header is complete
    size_t scanFrom = 0;
    const auto headerDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.requestWaitMs);
    auto tooLarge = [&](const char* part) {
        requestTooLarge = true;
        traceLog.Printf("[%3d] Request %s too large\r\n", clientSocket, part);
        headerLength = 0;
        return 0;
    };
    char chunk[kReceiveSize];
    // The request has usually arrived by the time the session runs: look before waiting.
    bool tryFirst = !(eventStop && eventStop->IsSet());
    for (;;) {
        if (bodyLength >= 0 && static_cast<int64_t>(buffer.size() - headerLength) >= bodyLength) {
            clientQuiet = static_cast<int64_t>(buffer.size() - headerLength) == bodyLength;
            return static_cast<int>(headerLength);
        }
        long n = tryFirst ? platform::ReceiveNow(clientSocket, chunk, sizeof chunk) : platform::kNothingYet;
        tryFirst = false;
        if (n == platform::kNothingYet) {
            // The header must be complete within one read wait in all, so a client that
            // drips a byte now and then cannot hold the session; the body may take as
            // long as it keeps coming.
            int wait = limits.requestWaitMs;
            if (headerLength == 0) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(headerDeadline -
                                                                                  std::chrono::steady_clock::now());
                wait = static_cast<int>(std::clamp<long long>(left.count(), 0, limits.requestWaitMs));
            }
            platform::WaitStatus w = platform::WaitReadable(clientSocket, wait, eventStop.get());
            if (w == platform::WaitStatus::Stopped)
                return 0;
            if (w != platform::WaitStatus::Ready)
                return static_cast<int>(headerLength);
            n = platform::Receive(clientSocket, chunk, sizeof chunk);
        }
        if (n <= 0) {
            endedForRoom = headerLength == 0 && m_table && m_table->WasEnded(*m_ticket);
            return static_cast<int>(headerLength);
        }
        // Each request has its bound, and all of them together one more, so that many
        // clients cannot take all memory between them.
        if (!holdBytes(static_cast<size_t>(n), limits.maxHeldRequestBytes)) {
            requestsFull = true;
            traceLog.Printf("[%3d] Requests of all sessions too large\r\n", clientSocket);
            headerLength = 0;
            return 0;
        }
        m_heldBytes += static_cast<size_t>(n);
        buffer.append(chunk, static_cast<size_t>(n));
        if (headerLength != 0)
            continue;

        // Only the new bytes (and the last three before them, which may begin a
        // terminator) need a look; earlier positions were already found wanting.
        size_t end = FindHeaderEnd(buffer, scanFrom);
        if (end == 0) {
            if (buffer.size() > limits.maxRequestHeaderBytes)
                return tooLarge("header");
            scanFrom = buffer.size() >= 3 ? buffer.size() - 3 : 0;
            continue;
        }
        if (end > limits.maxRequestHeaderBytes)
            return tooLarge("header");
        headerLength = static_cast<uint32_t>(end);
        if (m_table)
            m_table->HeaderArrived(*m_ticket);
        traceLog.Printf("[%3d] Client to zpf\r\n", clientSocket);
        traceLog.WriteBytes(buffer.data(), 1, headerLength);
        bodyLength = std::max<int64_t>(0, ContentLengthOf(std::string_view(buffer).substr(0, headerLength)));
        if (bodyLength > static_cast<int64_t>(limits.maxRequestBytes - std::min(limits.maxRequestBytes, end)))
            return tooLarge("body");
    }
}

bool HTTPServiceBody::ParseRequestLine()
{
    // The request is read as text up to its first zero byte.
    const std::string_view text(buffer.c_str());
    const size_t blank = text.find(' ');
    if (blank == std::string_view::npos)
        return false;
    request.method = std::string(text.substr(0, blank));
    const size_t target = blank + 1;
    size_t hostStart = 0;
    if (startsWithNoCase(request.method, "CONNECT")) {
        request.scheme = Scheme::Https;
        hostStart = target;
    } else if (startsWithNoCase(text.substr(target), "http://")) {
        request.scheme = Scheme::Http;
        hostStart = target + 7;
    } else if (startsWithNoCase(text.substr(target), "ftp://")) {
        request.scheme = Scheme::Ftp;
        hostStart = target + 6;
    } else {
        return false;
    }

    request.port = 80;
    request.portWritten = false;
    size_t hostEnd = text.find(request.scheme == Scheme::Https ? ' ' : '/', hostStart);
    if (hostEnd == std::string_view::npos)
        hostEnd = text.size();
    size_t nameEnd = hostEnd;
    size_t portFrom = hostStart;
    if (hostStart < text.size() && text[hostStart] == '[') {
        // An IPv6 literal: the host keeps its brackets, its colons are no port.
        const size_t close = text.find(']', hostStart);
        platform::Ipv6Address address{};
        if (close >= hostEnd ||
            !platform::ParseIpv6(std::string(text.substr(hostStart + 1, close - hostStart - 1)), address))
            return false;
        portFrom = close + 1;
        if (portFrom != hostEnd && text[portFrom] != ':')
            return false;
    }
    const size_t colon = text.find(':', portFrom);
    if (colon < hostEnd) {
        int value = 0;
        if (!ScanInteger(text.substr(colon + 1), value))
            return false;
        // A port the relay could not use (0, negative, above 65535) is refused here
        // rather than connected to modulo 65536.
        if (value < 1 || value > 65535)
            return false;
        request.port = value;
        request.portWritten = true;
        nameEnd = colon;
    }
    request.host = std::string(text.substr(hostStart, nameEnd - hostStart));

    const size_t lineFeed = text.find('\n', hostEnd);
    if (lineFeed == std::string_view::npos)
        return false;
    size_t versionAt = std::string_view::npos;
    for (size_t i = lineFeed; i-- > hostEnd + 1;) {
        if (text[i] == 'H') {
            versionAt = i;
            break;
        }
    }
    if (versionAt == std::string_view::npos)
        return false;
    const size_t pathEnd = versionAt - 1; // the blank before the version
    const std::string_view path = text.substr(hostEnd, pathEnd - hostEnd);
    if (request.scheme != Scheme::Https && path.find('/') == std::string_view::npos)
        return false;
    request.path = std::string(path);
    request.version = std::string(text.substr(versionAt, 8));
    return true;
}
