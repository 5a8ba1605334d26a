#include "core/pages/TimePage.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "config/SettingChecks.h"

namespace {

constexpr int kDayMinutes = 24 * 60;
constexpr const char* kDayNames[TimePage::kDays] = {"月曜日", "火曜日", "水曜日", "木曜日",
                                                    "金曜日", "土曜日", "日曜日"};

int minutesOf(unsigned int hourMinute) { return static_cast<int>((hourMinute >> 8) * 60 + (hourMinute & 0xffu)); }

} // namespace

std::string TimePage::caption() const { return "時間帯指定"; }

const char* TimePage::DayName(int day) { return day >= 0 && day < kDays ? kDayNames[day] : ""; }

std::string TimePage::StateName(FilterStatus state) { return state == FilterCut ? "遮断" : "フィルタリング"; }

std::string TimePage::TimeText(int minutes)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d:%02d", minutes / 60, minutes % 60);
    return buf;
}

void TimePage::LoadGroup(int group)
{
    TimeCnfList& list = document().config().timeCnfList;
    // A group without a schedule of its own follows group 0's: that is what it shows.
    const int source = group > 0 && group < list.size() && !list[group].ownSchedule ? 0 : group;
    for (int d = 0; d < kDays; ++d) {
        auto& day = m_week[static_cast<size_t>(d)];
        day.clear();
        for (const TimeCnfDataLine& line : list.GetVector(source, d)) {
            if (line.status != FilterOff)
                day.push_back({minutesOf(line.start()), minutesOf(line.end()), line.status});
        }
    }
    m_dirty = false;
    m_selected = -1;
    startField.clear();
    endField.clear();
    stateField = FilterOn;
}

std::vector<std::string> TimePage::Lines() const
{
    std::vector<std::string> lines;
    const bool any = std::any_of(m_week.begin(), m_week.end(), [](const auto& d) { return !d.empty(); });
    lines.emplace_back(any ? "off;\n" : "on;\n");
    for (int d = 0; d < kDays; ++d) {
        for (const Slot& s : m_week[static_cast<size_t>(d)]) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%s;%s;%02d:%02d-%02d:%02d\n", s.state == FilterCut ? "cut" : "on",
                          TimeCnfList::GetDayString(d), s.start / 60, s.start % 60, s.end / 60, s.end % 60);
            lines.emplace_back(buf);
        }
    }
    return lines;
}

void TimePage::StoreGroup(int group)
{
    TimeCnfList& list = document().config().timeCnfList;
    if (!m_dirty || group < 0 || group >= list.size())
        return;
    list.ClearData(group);
    for (const std::string& line : Lines())
        list.PutLineData(line.c_str(), group);
    // Edited, the group has a schedule of its own from now on.
    list[group].ownSchedule = true;
    m_dirty = false;
}

void TimePage::SelectDay(int day)
{
    if (day < 0 || day >= kDays)
        return;
    m_day = day;
    m_selected = -1;
}

void TimePage::Select(int row)
{
    const auto& day = m_week[static_cast<size_t>(m_day)];
    if (row < 0 || static_cast<size_t>(row) >= day.size()) {
        m_selected = -1;
        return;
    }
    if (row == m_selected)
        return;
    m_selected = row;
    const Slot& s = day[static_cast<size_t>(row)];
    startField = TimeText(s.start);
    endField = TimeText(s.end);
    stateField = s.state;
}

void TimePage::edited()
{
    m_dirty = true;
    MarkChanged();
}

void TimePage::addSlot(int day, Slot slot)
{
    auto& list = m_week[static_cast<size_t>(day)];
    if (slot.start < slot.end) {
        list.push_back(slot);
        return;
    }
    // Across midnight: until the day's end, and the rest on the next day.
    list.push_back({slot.start, kDayMinutes, slot.state});
    if (slot.end > 0)
        m_week[static_cast<size_t>((day + 1) % kDays)].push_back({0, slot.end, slot.state});
}

std::string TimePage::Add()
{
    if (std::string error = SlotTimeError(startField, endField); !error.empty())
        return error;
    addSlot(m_day, {*ReadTimeOfDay(startField, true), *ReadTimeOfDay(endField, true), stateField});
    edited();
    return {};
}

std::string TimePage::Modify()
{
    auto& day = m_week[static_cast<size_t>(m_day)];
    if (m_selected < 0 || static_cast<size_t>(m_selected) >= day.size())
        return {};
    if (std::string error = SlotTimeError(startField, endField); !error.empty())
        return error;
    const Slot slot{*ReadTimeOfDay(startField, true), *ReadTimeOfDay(endField, true), stateField};
    if (slot.start < slot.end) {
        day[static_cast<size_t>(m_selected)] = slot;
    } else {
        day[static_cast<size_t>(m_selected)] = {slot.start, kDayMinutes, slot.state};
        if (slot.end > 0)
            m_week[static_cast<size_t>((m_day + 1) % kDays)].push_back({0, slot.end, slot.state});
    }
    edited();
    return {};
}

void TimePage::Delete()
{
    auto& day = m_week[static_cast<size_t>(m_day)];
    if (m_selected < 0 || static_cast<size_t>(m_selected) >= day.size())
        return;
    day.erase(day.begin() + m_selected);
    m_selected = -1;
    edited();
}

void TimePage::ApplyToDays(const std::array<bool, kDays>& days)
{
    bool any = false;
    for (int d = 0; d < kDays; ++d) {
        if (d != m_day && days[static_cast<size_t>(d)]) {
            m_week[static_cast<size_t>(d)] = m_week[static_cast<size_t>(m_day)];
            any = true;
        }
    }
    if (any)
        edited();
}

TimeCnfList TimePage::scratch() const
{
    // The library decides, from the lines the page would store, as it does for the proxy.
    TimeCnfList list(&m_scratchGroups);
    list[0].ownSchedule = true;
    for (const std::string& line : Lines())
        list.PutLineData(line.c_str(), 0);
    return list;
}

FilterStatus TimePage::CellState(int day, int hour) const
{
    return scratch().FilterStatusAt(0, day, static_cast<unsigned int>(hour * 256));
}

std::array<std::array<FilterStatus, TimePage::kHours>, TimePage::kDays> TimePage::CellStates() const
{
    const TimeCnfList list = scratch();
    std::array<std::array<FilterStatus, kHours>, kDays> out{};
    for (int d = 0; d < kDays; ++d) {
        for (int h = 0; h < kHours; ++h)
            out[static_cast<size_t>(d)][static_cast<size_t>(h)] =
                list.FilterStatusAt(0, d, static_cast<unsigned int>(h * 256));
    }
    return out;
}

FilterStatus TimePage::StateNow() const { return scratch().FilterStatusNow(0); }

void TimePage::PaintCells(int day, int fromHour, int toHour, FilterStatus state)
{
    if (day < 0 || day >= kDays)
        return;
    fromHour = std::clamp(fromHour, 0, kHours - 1);
    toHour = std::clamp(toHour, 0, kHours - 1);
    if (fromHour > toHour)
        std::swap(fromHour, toHour);
    // Minute by minute, the first slot wins as it does when the proxy decides.
    std::array<FilterStatus, kDayMinutes> minutes;
    minutes.fill(FilterOff);
    std::array<bool, kDayMinutes> set{};
    for (const Slot& s : m_week[static_cast<size_t>(day)]) {
        for (int m = s.start; m < s.end && m < kDayMinutes; ++m) {
            if (!set[static_cast<size_t>(m)]) {
                set[static_cast<size_t>(m)] = true;
                minutes[static_cast<size_t>(m)] = s.state;
            }
        }
    }
    for (int m = fromHour * 60; m < (toHour + 1) * 60; ++m)
        minutes[static_cast<size_t>(m)] = state;
    std::vector<Slot> rebuilt;
    for (int m = 0; m < kDayMinutes;) {
        const FilterStatus s = minutes[static_cast<size_t>(m)];
        int end = m;
        while (end < kDayMinutes && minutes[static_cast<size_t>(end)] == s)
            ++end;
        if (s != FilterOff)
            rebuilt.push_back({m, end, s});
        m = end;
    }
    m_week[static_cast<size_t>(day)] = std::move(rebuilt);
    if (day == m_day)
        m_selected = -1;
    edited();
}
