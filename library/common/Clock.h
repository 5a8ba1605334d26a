#pragma once

#include <ctime>
#include <functional>

#include "ravlin_export.h"

/// The one clock of the system. Everything that asks for "now" (schedule, log file
/// names, log lines) goes through here, so tests can set the date and time.
namespace zpfclock {

/// Seconds since the epoch: the real clock unless a test clock is installed.
RAVLIN_EXPORT std::time_t Now();

/// Local time of t under the process-wide lock. Returns false when it cannot be
/// converted (tm is then zeroed).
RAVLIN_EXPORT bool LocalTime(std::time_t t, std::tm* out);

/// Local time of Now().
inline bool LocalNow(std::tm* out) { return LocalTime(Now(), out); }

/// Installs a clock for tests (an empty function restores the real clock). Call it
/// while no other thread asks for the time.
RAVLIN_EXPORT void SetTestClock(std::function<std::time_t()> clock);

} // namespace zpfclock
