#pragma once

#include <cstdint>
#include <vector>

namespace proxyload {

/// Summary of request latencies, in milliseconds.
struct LatencySummary {
    uint64_t count = 0;
    double medianMs = 0;
    double p99Ms = 0;
    double meanMs = 0;
    double maxMs = 0;
};

/// The value at percentile p (0 < p <= 100) by nearest rank: the smallest sample
/// with at least p percent of the samples at or below it. 0 for no samples. The
/// samples are reordered.
uint32_t Percentile(std::vector<uint32_t>& samples, double p);

/// Summarises latencies given in microseconds; the samples are reordered.
LatencySummary Summarise(std::vector<uint32_t>& samplesUs);

} // namespace proxyload
