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
    // The conversion is already thread-safe; the lock keeps tzset and our callers in step
    // with the one conversion lock the rest of the system expects.
    std::lock_guard<std::mutex> guard(timeLock());
    if (!platform::ToLocalTime(t, out)) {
        std::memset(out, 0, sizeof *out);
        return false;
    }
    return true;
}

void SetTestClock(std::function<std::time_t()> clock) { testClock() = std::move(clock); }

} // namespace zpfclock
