#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "support/TempProgramDir.h"

namespace zpftest {

/// Seconds since the epoch of a local date and time.
inline std::time_t LocalClock(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

/// A temporary program directory and a clock fixed at 2004/05/10 04:49:09 local time;
/// the real clock comes back afterwards.
class LogFixture : public ::testing::Test {
protected:
    void SetUp() override { setClock(LocalClock(2004, 5, 10, 4, 49, 9)); }
    void TearDown() override { zpfclock::SetTestClock({}); }
    void setClock(std::time_t t)
    {
        zpfclock::SetTestClock([t] { return t; });
    }

    /// The lines of a file without their CR LF; a line with any other ending gets a
    /// visible "<bad end>" so comparisons catch it.
    std::vector<std::string> lines(const std::string& name) const
    {
        const std::string bytes = m_dir.readBytes(name);
        std::vector<std::string> out = CrlfLines(bytes);
        if (!out.empty() && !bytes.ends_with("\r\n"))
            out.back() += "<bad end>";
        return out;
    }

    TempProgramDir m_dir;
};

} // namespace zpftest
