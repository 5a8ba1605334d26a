#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "support/LocalClock.h"
#include "support/TempProgramDir.h"

namespace zpftest {

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
