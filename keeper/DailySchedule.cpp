// Once-a-day timing that survives clock steps in either direction.
#include "keeper/DailySchedule.h"

#include "common/Clock.h"

long LocalDay(std::time_t t)
{
    std::tm tm{};
    if (!zpfclock::LocalTime(t, &tm))
        return -1;
    return (tm.tm_year + 1900L) * 10000L + (tm.tm_mon + 1L) * 100L + tm.tm_mday;
}

void DailySchedule::Set(int hour, int minute, std::time_t now)
{
    m_hour = hour;
    m_minute = minute;
    m_lastDay = -1;
    m_next = hour >= 0 ? nextAfter(now) : 0;
}

std::time_t DailySchedule::nextAfter(std::time_t now) const
{
    std::tm tm{};
    if (!zpfclock::LocalTime(now, &tm))
        return now + 24 * 3600;
    tm.tm_hour = m_hour;
    tm.tm_min = m_minute;
    tm.tm_sec = 0;
    tm.tm_isdst = -1;
    std::time_t at = std::mktime(&tm);
    // Stepping the day (not adding 24 hours) keeps the local time across a DST change.
    for (int i = 0; i < 3 && at <= now; ++i) {
        tm.tm_mday += 1;
        tm.tm_hour = m_hour;
        tm.tm_min = m_minute;
        tm.tm_isdst = -1;
        at = std::mktime(&tm);
    }
    return at > now ? at : now + 24 * 3600;
}

bool DailySchedule::Due(std::time_t now)
{
    if (m_hour < 0)
        return false;
    // The clock went back: the time due comes closer, but a day that already ran stays done.
    const std::time_t following = nextAfter(now);
    if (now < m_next && following < m_next)
        m_next = following;
    if (now < m_next)
        return false;
    const long day = LocalDay(m_next);
    m_next = following;
    if (day == m_lastDay)
        return false;
    m_lastDay = day;
    return true;
}
