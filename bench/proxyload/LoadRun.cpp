// The client threads: a new connection per request, timing, and the merged figures.
#include "proxyload/LoadRun.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/Socket.h"

namespace proxyload {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kReceiveSize = 64 * 1024;

int msLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(left, 0));
}

/// One thread's share of the figures, merged when all have ended.
struct ThreadFigures {
    uint64_t succeeded = 0;
    uint64_t failed = 0;
    uint64_t completedInWindow = 0; // successful, ended within the measured time
    std::array<uint64_t, kFailureKinds> failures{};
    std::string firstFailure;
    std::vector<uint32_t> latenciesUs;
};

} // namespace

RequestResult RunOneRequest(const LoadOptions& options, const std::string& request, const std::string* expectedBody)
{
    RequestResult result;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + std::chrono::milliseconds(options.timeoutMs);
    auto finish = [&](Failure failure) {
        result.failure = failure;
        result.latencyUs = static_cast<uint32_t>(std::min<long long>(
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count(), UINT32_MAX));
        return result;
    };

    const Endpoint& to = options.viaProxy ? options.proxy : options.origin;
    int error = 0;
    platform::SocketHandle s = platform::ConnectTcp(to.host, to.port, options.timeoutMs, &error);
    if (s == platform::kInvalidSocket) {
        result.osError = error;
        return finish(Failure::Connect);
    }
    if (!platform::SendAll(s, request.data(), request.size(), msLeft(deadline))) {
        result.osError = errno;
        platform::CloseSocket(s);
        return finish(Failure::Send);
    }

    ResponseReader reader(options.expectStatus, expectedBody);
    // Per thread, so a thousand threads do not each hold a large stack frame.
    thread_local std::vector<char> buffer(kReceiveSize);
    ResponseReader::State state = ResponseReader::State::NeedMore;
    Failure failure = Failure::None;
    // Bounded by the deadline: every wait takes only the time that is left.
    while (state == ResponseReader::State::NeedMore) {
        const int left = msLeft(deadline);
        if (left <= 0 || platform::WaitReadable(s, left, nullptr) != platform::WaitStatus::Ready) {
            failure = Failure::Timeout;
            break;
        }
        long n = platform::Receive(s, buffer.data(), buffer.size());
        if (n < 0) {
            result.osError = errno;
            failure = Failure::Receive;
            break;
        }
        state = n == 0 ? reader.Close() : reader.Feed(buffer.data(), static_cast<size_t>(n));
    }
    platform::CloseSocket(s);
    result.status = reader.status();
    if (failure == Failure::None && state == ResponseReader::State::Failed)
        failure = reader.failure();
    return finish(failure);
}

std::string DescribeFailure(const RequestResult& result)
{
    std::string text = FailureName(result.failure);
    if (result.failure == Failure::Status) {
        text += ' ';
        text += std::to_string(result.status);
    }
    if (result.osError != 0) {
        text += ": ";
        text += std::strerror(result.osError);
    }
    return text;
}

LoadReport RunLoad(const LoadOptions& options, const std::string* expectedBody)
{
    const std::string request = BuildRequest(options);
    const Clock::time_point start = Clock::now();
    const Clock::time_point measureFrom = start + std::chrono::milliseconds(options.warmupMs);
    const Clock::time_point end = measureFrom + std::chrono::milliseconds(options.durationMs);
    std::atomic<int64_t> counted{0};

    std::vector<ThreadFigures> figures(static_cast<size_t>(options.connections));
    std::vector<std::thread> threads;
    threads.reserve(figures.size());
    for (ThreadFigures& mine : figures) {
        threads.emplace_back([&, &mine = mine] {
            // Ends by time, or by count when one is given.
            for (;;) {
                const Clock::time_point begun = Clock::now();
                if (begun >= end)
                    break;
                const bool measured = begun >= measureFrom;
                if (measured && options.maxRequests > 0 && counted.fetch_add(1) >= options.maxRequests)
                    break;
                RequestResult r = RunOneRequest(options, request, expectedBody);
                const Clock::time_point done = Clock::now();
                if (r.failure == Failure::None && done >= measureFrom && done < end)
                    ++mine.completedInWindow;
                if (!measured)
                    continue;
                if (r.failure == Failure::None) {
                    ++mine.succeeded;
                    mine.latenciesUs.push_back(r.latencyUs);
                } else {
                    ++mine.failed;
                    ++mine.failures[static_cast<size_t>(r.failure)];
                    if (mine.firstFailure.empty())
                        mine.firstFailure = DescribeFailure(r);
                }
            }
        });
    }
    for (std::thread& t : threads)
        t.join();

    LoadReport report;
    report.seconds = std::max(std::chrono::duration<double>(Clock::now() - measureFrom).count(), 1e-6);
    // By time, the rate is what completed within the measured time (a request still
    // running at its end would otherwise stretch it); by count, all of them over all
    // the time they took.
    uint64_t completed = 0;
    for (const ThreadFigures& f : figures)
        completed += f.completedInWindow;
    for (ThreadFigures& f : figures) {
        report.succeeded += f.succeeded;
        report.failed += f.failed;
        for (size_t k = 0; k < f.failures.size(); ++k)
            report.failures[k] += f.failures[k];
        if (report.firstFailure.empty())
            report.firstFailure = f.firstFailure;
        report.latenciesUs.insert(report.latenciesUs.end(), f.latenciesUs.begin(), f.latenciesUs.end());
    }
    report.rate = options.maxRequests > 0 || options.durationMs <= 0
                      ? static_cast<double>(report.succeeded) / report.seconds
                      : static_cast<double>(completed) / (static_cast<double>(options.durationMs) / 1000.0);
    return report;
}

} // namespace proxyload
