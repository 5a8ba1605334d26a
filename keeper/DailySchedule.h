#pragma once

#include <ctime>

/// Something done once a day at a local time of day. It comes due at the first check at
/// or after that time, so a machine that slept through it does it when it wakes; and it
/// is done at most once for each calendar day, so a clock set back does not repeat it.
class DailySchedule {
public:
    /// Off until set.
    DailySchedule() = default;
    /// The time of day; the first time due is the next one after now.
    void Set(int hour, int minute, std::time_t now);
    bool Enabled() const { return m_hour >= 0; }
    /// True when the action should run now; then the next time is the day after.
    bool Due(std::time_t now);
    /// When it comes due next; 0 when off.
    std::time_t Next() const { return m_next; }

private:
    std::time_t nextAfter(std::time_t now) const;

    int m_hour = -1;
    int m_minute = 0;
    std::time_t m_next = 0;
    long m_lastDay = -1; // the calendar day (yyyymmdd) of the last time that ran
};

/// yyyymmdd of the local date of t; -1 when it cannot be converted.
long LocalDay(std::time_t t);
