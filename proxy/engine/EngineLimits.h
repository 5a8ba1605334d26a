#pragma once

#include <cstddef>
#include <cstdint>

/// Bounds of the proxy engine. The defaults are far above anything a busy family or
/// office network produces; tests shorten the waits.
inline constexpr int kRequestWaitMs = 300'000; // silence allowed while reading a request
inline constexpr int kShutdownWaitMs = 60'000; // listener's wait for running sessions at stop
inline constexpr size_t kMaxRequestHeaderBytes = 1u << 20; // 1 MiB of request header
inline constexpr size_t kMaxRequestBytes = 128u << 20; // 128 MiB of header and body together
inline constexpr size_t kMaxHeldRequestBytes = 512u << 20; // requests read but not yet sent, all sessions
inline constexpr int kMaxSessions = 2000; // simultaneous session threads
inline constexpr int kLingerMs = 2000; // draining the client at the end of a session
inline constexpr int kSendWaitMs = 60'000; // a client that takes nothing for this long is dropped
// A session's stack: its deepest use is a few 16 KB buffers, and a smaller stack makes
// starting a thread per connection cheaper. Sanitizer builds keep the default, as
// their instrumentation needs far more stack.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr size_t kSessionStackBytes = 0;
#else
inline constexpr size_t kSessionStackBytes = 512u << 10;
#endif
inline constexpr int kRelayWaitMs = 300'000; // one wait of the relay for either side
inline constexpr int kRelayIdleMs = 300'000; // silence of both sides that ends a relay
// Tunnels carry long-lived connections (web sockets, long polls) that stay silent for long.
inline constexpr int kTunnelIdleMs = 3'600'000;
inline constexpr size_t kMaxResponseHeaderBytes = 256u << 10; // a response header held in memory
// A compressed body decoded for the scan stops here (or at the group's FilteringSize):
// a few kilobytes can inflate without end.
inline constexpr uint64_t kMaxDecodedBytes = 64u << 20;

struct EngineLimits {
    int requestWaitMs = kRequestWaitMs;
    int shutdownWaitMs = kShutdownWaitMs;
    size_t maxRequestHeaderBytes = kMaxRequestHeaderBytes;
    size_t maxRequestBytes = kMaxRequestBytes;
    size_t maxHeldRequestBytes = kMaxHeldRequestBytes;
    int maxSessions = kMaxSessions;
    int lingerMs = kLingerMs;
    int sendWaitMs = kSendWaitMs;
    int relayWaitMs = kRelayWaitMs;
    int relayIdleMs = kRelayIdleMs;
    int tunnelIdleMs = kTunnelIdleMs;
    size_t maxResponseHeaderBytes = kMaxResponseHeaderBytes;
    uint64_t maxDecodedBytes = kMaxDecodedBytes;
};

/// The limits in force. Written only before the listener starts (tests change them
/// there); session threads read them without locks.
EngineLimits& engineLimits();
