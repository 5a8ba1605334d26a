#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace proxyload {

/// A loopback endpoint: a dotted 127.x.y.z address and a port.
struct Endpoint {
    std::string host;
    unsigned port = 0;
};

/// What one run of the load generator does. Every count and time has a bound, so a
/// typo cannot start a run that never ends.
struct LoadOptions {
    Endpoint origin; // from the URL
    std::string path = "/"; // origin-form target
    bool viaProxy = false; // absolute-URI requests to `proxy` instead of the origin
    Endpoint proxy;
    int connections = 1; // client threads, each with one connection at a time
    int durationMs = 3000; // measured time, after the warm-up
    int warmupMs = 0; // requests in this time are made but not counted
    int64_t maxRequests = 0; // counted requests in all; 0 = limited by time only
    int timeoutMs = 10000; // one request, connect to last byte
    int expectStatus = 200;
    std::string expectBodyFile; // when set, every body must equal this file's bytes
    std::string label; // printed in the result line
};

inline constexpr int kMaxConnections = 1024;
inline constexpr int kMaxDurationMs = 600000;
inline constexpr int kMaxWarmupMs = 60000;
inline constexpr int64_t kMaxRequests = 10000000;
inline constexpr int kMaxTimeoutMs = 60000;

/// Splits "http://127.0.0.1:PORT/path" into its endpoint and path. Only loopback
/// addresses written as dotted numbers are taken. Returns false on failure, with
/// the reason in *error.
bool ParseUrl(std::string_view url, Endpoint& endpoint, std::string& path, std::string* error);

/// Reads "127.x.y.z:PORT". Returns false on failure, with the reason in *error.
bool ParseEndpoint(std::string_view text, Endpoint& endpoint, std::string* error);

/// Reads the command line (without the program name). Returns false on failure,
/// with the reason in *error; `options` is then partly filled.
bool ParseOptions(const std::vector<std::string_view>& args, LoadOptions& options, std::string* error);

/// The request bytes sent on every connection: HTTP/1.0 without keep-alive, the
/// target in absolute form through a proxy and in origin form otherwise.
std::string BuildRequest(const LoadOptions& options);

/// The usage text.
const char* UsageText();

} // namespace proxyload
