// Command line of the load generator: target URL, proxy, connections, times, checks.
#include "proxyload/LoadOptions.h"

#include <charconv>

namespace proxyload {

namespace {

void setError(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
}

/// A whole decimal number within [low, high]; nothing else may follow it.
template <typename T> bool readNumber(std::string_view text, T low, T high, T& out)
{
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

/// Seconds with an optional fraction ("3", "0.5") as milliseconds within [low, high].
bool readSeconds(std::string_view text, int lowMs, int highMs, int& outMs)
{
    double seconds = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (ec != std::errc() || end != text.data() + text.size() || !(seconds >= 0))
        return false;
    const double ms = seconds * 1000.0;
    if (ms < lowMs || ms > highMs)
        return false;
    outMs = static_cast<int>(ms + 0.5);
    return true;
}

bool isLoopbackDotted(std::string_view host)
{
    int parts = 0;
    size_t at = 0;
    while (at <= host.size() && parts < 5) {
        size_t dot = host.find('.', at);
        std::string_view part = host.substr(at, dot == std::string_view::npos ? std::string_view::npos : dot - at);
        int value = 0;
        if (part.empty() || part.size() > 3 || !readNumber(part, 0, 255, value))
            return false;
        if (parts == 0 && value != 127)
            return false;
        ++parts;
        if (dot == std::string_view::npos)
            break;
        at = dot + 1;
    }
    return parts == 4;
}

} // namespace

bool ParseEndpoint(std::string_view text, Endpoint& endpoint, std::string* error)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) {
        setError(error, "address without a port: " + std::string(text));
        return false;
    }
    std::string_view host = text.substr(0, colon);
    if (!isLoopbackDotted(host)) {
        setError(error, "only loopback addresses (127.x.y.z) are served: " + std::string(host));
        return false;
    }
    unsigned port = 0;
    if (!readNumber(text.substr(colon + 1), 1u, 65535u, port)) {
        setError(error, "bad port in " + std::string(text));
        return false;
    }
    endpoint.host = std::string(host);
    endpoint.port = port;
    return true;
}

bool ParseUrl(std::string_view url, Endpoint& endpoint, std::string& path, std::string* error)
{
    constexpr std::string_view kScheme = "http://";
    if (url.substr(0, kScheme.size()) != kScheme) {
        setError(error, "the URL must begin with http://");
        return false;
    }
    std::string_view rest = url.substr(kScheme.size());
    const size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    Endpoint parsed;
    if (authority.find(':') == std::string_view::npos) {
        // No port given: the scheme's own.
        if (!ParseEndpoint(std::string(authority) + ":80", parsed, error))
            return false;
    } else if (!ParseEndpoint(authority, parsed, error)) {
        return false;
    }
    std::string_view target = slash == std::string_view::npos ? std::string_view("/") : rest.substr(slash);
    for (char c : target) {
        // The path goes into a request line as it stands.
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) {
            setError(error, "the path holds a blank or a control character");
            return false;
        }
    }
    endpoint = parsed;
    path = std::string(target);
    return true;
}

bool ParseOptions(const std::vector<std::string_view>& args, LoadOptions& options, std::string* error)
{
    bool haveUrl = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view name = args[i];
        if (i + 1 >= args.size()) {
            setError(error, "missing value after " + std::string(name));
            return false;
        }
        const std::string_view value = args[++i];
        bool ok = true;
        if (name == "--url") {
            ok = ParseUrl(value, options.origin, options.path, error);
            haveUrl = ok;
            if (!ok)
                return false;
        } else if (name == "--proxy") {
            if (!ParseEndpoint(value, options.proxy, error))
                return false;
            options.viaProxy = true;
        } else if (name == "--connections" || name == "-c") {
            ok = readNumber(value, 1, kMaxConnections, options.connections);
        } else if (name == "--duration") {
            ok = readSeconds(value, 1, kMaxDurationMs, options.durationMs);
        } else if (name == "--warmup") {
            ok = readSeconds(value, 0, kMaxWarmupMs, options.warmupMs);
        } else if (name == "--requests" || name == "-n") {
            ok = readNumber<int64_t>(value, 1, kMaxRequests, options.maxRequests);
        } else if (name == "--timeout") {
            ok = readSeconds(value, 1, kMaxTimeoutMs, options.timeoutMs);
        } else if (name == "--expect-status") {
            ok = readNumber(value, 100, 599, options.expectStatus);
        } else if (name == "--expect-body") {
            options.expectBodyFile = std::string(value);
            ok = !value.empty();
        } else if (name == "--label") {
            options.label = std::string(value);
            ok = value.find_first_of(" \t\r\n") == std::string_view::npos;
        } else {
            setError(error, "unknown option " + std::string(name));
            return false;
        }
        if (!ok) {
            setError(error, "bad value for " + std::string(name) + ": " + std::string(value));
            return false;
        }
    }
    if (!haveUrl) {
        setError(error, "--url is required");
        return false;
    }
    return true;
}

std::string BuildRequest(const LoadOptions& options)
{
    const std::string hostPort = options.origin.host + ":" + std::to_string(options.origin.port);
    std::string request = "GET ";
    if (options.viaProxy)
        request += "http://" + hostPort;
    request += options.path;
    request += " HTTP/1.0\r\nHost: " + hostPort + "\r\nUser-Agent: bench_proxyload\r\nAccept: */*\r\n\r\n";
    return request;
}

const char* UsageText()
{
    return "usage: bench_proxyload --url http://127.0.0.1:PORT/PATH [options]\n"
           "  --proxy 127.0.0.1:PORT   send absolute-URI requests through this proxy\n"
           "  --connections N          concurrent connections, one thread each (1..1024; default 1)\n"
           "  --duration S             measured seconds (default 3; at most 600)\n"
           "  --warmup S               seconds of requests before measuring (default 0)\n"
           "  --requests N             stop after N counted requests (default: by time only)\n"
           "  --timeout S              limit for one request (default 10)\n"
           "  --expect-status CODE     status every response must have (default 200)\n"
           "  --expect-body FILE       every body must equal this file's bytes\n"
           "  --label TEXT             name printed in the result line\n"
           "A new connection is made for every request (HTTP/1.0, no keep-alive).\n"
           "The last line reads: RESULT label=... requests=... errors=... seconds=... rps=...\n"
           "median_ms=... p99_ms=... (one line); the exit status is 0 when no request failed.\n";
}

} // namespace proxyload
