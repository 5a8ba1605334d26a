#pragma once

#include <ctime>

namespace platform {

/// Seconds since the epoch from the system's clock.
std::time_t SystemTime();

/// Local time of t in the system's time zone; any thread. Returns false when it cannot be
/// converted (*out is then unchanged).
[[nodiscard]] bool ToLocalTime(std::time_t t, std::tm* out);

} // namespace platform
