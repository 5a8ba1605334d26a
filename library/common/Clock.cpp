// The settable clock and the locked local-time conversion.
#include "common/Clock.h"

#include <cstring>
#include <mutex>

#include "platform/SystemClock.h"

namespace zpfclock {
namespace {
std::mutex& timeLock()
{
    static std::mutex m;
    return m;
}
std::function<std::time_t()>& testClock()
{
    static std::function<std::time_t()> clock;
    return clock;
}
} // namespace

std::time_t Now()
{
    const auto& clock = testClock();
    return clock ? clock() : platform::SystemTime();
}

bool LocalTime(std::time_t t, std::tm* out)
{
    // Busy threads ask for the same second many times (a log line per request): each
    // keeps the last second it converted, so only a new second takes the lock.
    struct Converted {
        std::time_t t = 0;
        std::tm when{};
        bool valid = false;
    };
    thread_local Converted last;
    if (last.valid && last.t == t) {
        *out = last.when;
        return true;
    }
    // The conversion is already thread-safe; the lock keeps tzset and our callers in step
    // with the one conversion lock the rest of the system expects.
    std::lock_guard<std::mutex> guard(timeLock());
    if (!platform::ToLocalTime(t, out)) {
        std::memset(out, 0, sizeof *out);
        last.valid = false;
        return false;
    }
    last = {t, *out, true};
    return true;
}

void SetTestClock(std::function<std::time_t()> clock) { testClock() = std::move(clock); }

} // namespace zpfclock
