// The system clock and the local-time conversion.
#include "platform/SystemClock.h"

namespace platform {

std::time_t SystemTime() { return std::time(nullptr); }

bool ToLocalTime(std::time_t t, std::tm* out) { return ::localtime_r(&t, out) != nullptr; }

} // namespace platform
