// Median and tail of the recorded request latencies.
#include "proxyload/LatencyStats.h"

#include <algorithm>
#include <cmath>

namespace proxyload {

uint32_t Percentile(std::vector<uint32_t>& samples, double p)
{
    if (samples.empty())
        return 0;
    p = std::clamp(p, 0.0, 100.0);
    size_t rank = static_cast<size_t>(std::ceil(p / 100.0 * static_cast<double>(samples.size())));
    size_t index = rank == 0 ? 0 : rank - 1;
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(index), samples.end());
    return samples[index];
}

LatencySummary Summarise(std::vector<uint32_t>& samplesUs)
{
    LatencySummary s;
    s.count = samplesUs.size();
    if (samplesUs.empty())
        return s;
    double sum = 0;
    uint32_t max = 0;
    for (uint32_t v : samplesUs) {
        sum += v;
        max = std::max(max, v);
    }
    s.meanMs = sum / static_cast<double>(samplesUs.size()) / 1000.0;
    s.maxMs = max / 1000.0;
    s.medianMs = Percentile(samplesUs, 50) / 1000.0;
    s.p99Ms = Percentile(samplesUs, 99) / 1000.0;
    return s;
}

} // namespace proxyload
