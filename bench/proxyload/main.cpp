// bench_proxyload: a load generator for the proxy benchmark. Client threads make
// one request per new connection, to an origin or through a proxy, and the run
// prints requests per second, median and 99th-percentile latency and the failures.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextFile.h"
#include "proxyload/LatencyStats.h"
#include "proxyload/LoadOptions.h"
#include "proxyload/LoadRun.h"

int main(int argc, char** argv)
{
    using namespace proxyload;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(UsageText(), args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    LoadOptions options;
    std::string error;
    if (!ParseOptions(args, options, &error)) {
        std::fprintf(stderr, "bench_proxyload: %s\n%s", error.c_str(), UsageText());
        return 2;
    }
    std::string expected;
    if (!options.expectBodyFile.empty() && !platform::ReadFileBytes(options.expectBodyFile, expected)) {
        std::fprintf(stderr, "bench_proxyload: cannot read %s\n", options.expectBodyFile.c_str());
        return 2;
    }

    LoadReport report = RunLoad(options, options.expectBodyFile.empty() ? nullptr : &expected);
    const LatencySummary latency = Summarise(report.latenciesUs);
    const double rps = report.rate;

    std::printf("target      %s:%u%s", options.origin.host.c_str(), options.origin.port, options.path.c_str());
    if (options.viaProxy)
        std::printf(" via %s:%u", options.proxy.host.c_str(), options.proxy.port);
    std::printf("\nconnections %d, measured %.2f s (warm-up %.2f s)\n", options.connections, report.seconds,
                options.warmupMs / 1000.0);
    std::printf("requests    %llu ok, %llu failed\n", static_cast<unsigned long long>(report.succeeded),
                static_cast<unsigned long long>(report.failed));
    std::printf("rate        %.1f requests/s\n", rps);
    std::printf("latency     median %.3f ms, p99 %.3f ms, mean %.3f ms, max %.3f ms\n", latency.medianMs, latency.p99Ms,
                latency.meanMs, latency.maxMs);
    if (report.failed > 0) {
        std::printf("failures   ");
        for (int k = 1; k < kFailureKinds; ++k) {
            if (report.failures[static_cast<size_t>(k)] > 0)
                std::printf(" %s %llu", FailureName(static_cast<Failure>(k)),
                            static_cast<unsigned long long>(report.failures[static_cast<size_t>(k)]));
        }
        std::printf(" (first: %s)\n", report.firstFailure.c_str());
    }
    std::printf("RESULT label=%s requests=%llu errors=%llu seconds=%.3f rps=%.1f median_ms=%.3f p99_ms=%.3f "
                "mean_ms=%.3f max_ms=%.3f\n",
                options.label.empty() ? "-" : options.label.c_str(), static_cast<unsigned long long>(report.succeeded),
                static_cast<unsigned long long>(report.failed), report.seconds, rps, latency.medianMs, latency.p99Ms,
                latency.meanMs, latency.maxMs);
    return report.failed == 0 && report.succeeded > 0 ? 0 : 1;
}
