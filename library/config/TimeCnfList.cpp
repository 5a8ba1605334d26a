// The weekly schedule of every group and its file time.cnf.
#include "config/TimeCnfList.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <unordered_set>

#include "common/BaseDirectory.h"
#include "common/Clock.h"
#include "config/ConfigLines.h"
#include "config/ConfigrationFile.h"
#include "config/GroupList.h"
#include "platform/TextFile.h"

namespace {

constexpr uint32_t kWholeDay = 0x1800u << 16;
constexpr int kReadBuffer = 1024;

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool isBlank(std::string_view item)
{
    for (char c : item) {
        if (!isSpace(c))
            return false;
    }
    return true;
}

// Reads one "%d" the way scanf does (white space skipped, optional sign) into a value
// that cannot overflow: anything beyond a few digits is simply "too big".
bool scanNumber(std::string_view s, size_t& pos, int& value)
{
    while (pos < s.size() && isSpace(s[pos]))
        ++pos;
    bool negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-'))
        negative = s[pos++] == '-';
    size_t digits = 0;
    long v = 0;
    for (; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos, ++digits) {
        if (v < 100000)
            v = v * 10 + (s[pos] - '0');
    }
    if (digits == 0)
        return false;
    value = static_cast<int>(negative ? -v : v);
    return true;
}

bool scanChar(std::string_view s, size_t& pos, char c)
{
    if (pos < s.size() && s[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

// "%d:%d-%d:%d" with every number 0..255, the range one byte of hour and one of minute
// can hold. Anything else does not scan.
bool scanRange(std::string_view item, int v[4])
{
    size_t pos = 0;
    if (!(scanNumber(item, pos, v[0]) && scanChar(item, pos, ':') && scanNumber(item, pos, v[1]) &&
          scanChar(item, pos, '-') && scanNumber(item, pos, v[2]) && scanChar(item, pos, ':') &&
          scanNumber(item, pos, v[3])))
        return false;
    for (int i = 0; i < 4; ++i) {
        if (v[i] < 0 || v[i] > 255)
            return false;
    }
    return true;
}

template <typename Fn> void splitAtComma(std::string_view field, Fn fn)
{
    size_t start = 0;
    for (;;) {
        size_t comma = field.find(',', start);
        fn(field.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        if (comma == std::string_view::npos)
            return;
        start = comma + 1;
    }
}

const char* statusWord(FilterStatus status)
{
    switch (status) {
    case FilterOff:
        return "off;\n";
    case FilterCut:
        return "cut;\n";
    default:
        return "on;\n";
    }
}

} // namespace

const char* const TimeCnfList::date[8] = {"mon", "tue", "wed", "tur", "fri", "sat", "sun", nullptr};
std::string TimeCnfList::durationFilename = "time.cnf";

// ---- TimeCnfDataLine ----

TimeCnfDataLine::TimeCnfDataLine(FilterStatus s, unsigned long r, const char* t)
    : TimeCnfDataLine(s, r, std::make_shared<const std::string>(t ? t : ""))
{
}

TimeCnfDataLine::TimeCnfDataLine(FilterStatus s, unsigned long r, std::shared_ptr<const std::string> t)
    : status(s)
    , range(static_cast<uint32_t>(r))
    , m_text(t ? std::move(t) : std::make_shared<const std::string>())
{
}

std::string TimeCnfDataLine::RangeString() const
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02u:%02u-%02u:%02u", start() >> 8, start() & 0xffu, end() >> 8, end() & 0xffu);
    return buf;
}

// ---- TimeCnfList ----

TimeCnfList::TimeCnfList(const GroupList* groupList)
    : m_weeks(1)
    , m_groups(groupList)
{
}

const GroupList& TimeCnfList::groups() const
{
    return m_groups ? *m_groups : ConfigrationFileSigleton::getInstance()->groupList;
}

int TimeCnfList::GetDateIndex(const char* text)
{
    if (!text)
        return -1;
    for (int i = 0; date[i]; ++i) {
        if (strncasecmp(text, date[i], 3) == 0)
            return i;
    }
    return -1;
}

const char* TimeCnfList::GetDayString(int day) { return day >= 0 && day < TimeCnfData::kDays ? date[day] : ""; }

bool TimeCnfList::Initialize()
{
    ClearData();
    // Sized before the file is opened, so a missing file still leaves one week per group.
    m_weeks.resize(static_cast<size_t>(std::max(1, groups().size())));

    platform::TextFile file;
    if (!file.Open(baseDirectory() + durationFilename, "rt"))
        return true;
    int current = 0;
    std::string line;
    while (zpfconfig::ReadLimitedLine(file, kReadBuffer, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '%') {
            std::string name = GroupList::GetGroupNameFromLine(line.c_str());
            int g = groups().GetGroupNo(name.c_str());
            // An unknown name is ignored: the lines after it go on into the current group.
            if (g >= 0 && g != current && g < size()) {
                current = g;
                m_weeks[static_cast<size_t>(g)].ownSchedule = true;
            }
            continue;
        }
        PutLineData(line.c_str(), current);
    }
    return false;
}

bool TimeCnfList::WriteData()
{
    const GroupList& list = groups();
    std::string text;
    const int count = std::min(size(), list.size());
    for (int g = 0; g < count; ++g) {
        const TimeCnfData& own = m_weeks[static_cast<size_t>(g)];
        const TimeCnfData* slots = &own;
        if (g >= 1) {
            // A deleted group has no name: its section would read back as an unknown
            // one and its slots would land in the group before it.
            if (list[g].deleted || list[g].name.empty())
                continue;
            // A section of its own, even an empty one, would cut the group off from
            // group 0's slots when read back.
            if (!own.ownSchedule) {
                if (own.defaultStatus == FilterOn)
                    continue;
                slots = &m_weeks[0];
            }
            text += "\n%";
            text += list.GetGroupName(g);
            text += "%\n";
        }
        const TimeCnfData& week = *slots;
        text += statusWord(own.defaultStatus);
        // Every slot of a line carries the whole line; writing it once per slot would
        // multiply a line naming several days or ranges at every save and reload.
        // Identical lines add identical slots, so one copy keeps the schedule.
        std::unordered_set<std::string_view> written;
        for (const auto& day : week.days) {
            for (const auto& slot : day) {
                const std::string& line = slot.text();
                if (!written.insert(line).second)
                    continue;
                text += line;
                if (line.empty() || line.back() != '\n')
                    text += '\n';
            }
        }
    }
    return zpfconfig::ReplaceTextFile(baseDirectory() + durationFilename, text);
}

namespace {

// The days of a line's day field, a range ("mon-fri") day by day, dayIndex naming
// them. False for an item that names no day.
bool readDays(std::string_view field, int (*dayIndex)(const char*), std::vector<int>& days)
{
    bool badDay = false;
    splitAtComma(field, [&](std::string_view item) {
        if (badDay)
            return;
        std::string word(item);
        int first = dayIndex(word.c_str());
        if (first < 0) {
            badDay = true;
            return;
        }
        int last = first;
        if (size_t dash = word.find('-'); dash != std::string::npos) {
            last = dayIndex(word.c_str() + dash + 1);
            if (last < 0) {
                badDay = true;
                return;
            }
        }
        // A first day after the last adds none; a day may come more than once.
        for (int d = first; d <= last; ++d)
            days.push_back(d);
    });
    return !badDay;
}

// The time ranges of a line's times field; an empty item is the whole day. False for
// a range that ends before it begins.
bool readRanges(std::string_view field, std::vector<uint32_t>& ranges)
{
    bool backwards = false;
    splitAtComma(field, [&](std::string_view item) {
        if (backwards)
            return;
        if (isBlank(item)) {
            ranges.push_back(kWholeDay);
            return;
        }
        int v[4];
        if (!scanRange(item, v))
            return; // skipped; the line's other items still count
        if (v[0] * 60 + v[1] > v[2] * 60 + v[3]) {
            backwards = true;
            return;
        }
        ranges.push_back(static_cast<uint32_t>(v[0] * 256 + v[1]) | static_cast<uint32_t>(v[2] * 256 + v[3]) << 16);
    });
    return !backwards;
}

} // namespace

bool TimeCnfList::PutLineData(const char* line, int group)
{
    if (!line || group < 0 || group >= size())
        return false;
    std::string_view text(line);
    // The line end is kept with the slot as a single "\n"; a CR or LF inside the line
    // would split it into two lines when written back.
    std::string_view body = text;
    while (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
        body.remove_suffix(1);
    if (body.size() > kMaxLineLength || body.find_first_of("\r\n") != std::string_view::npos)
        return false;
    auto stored = std::make_shared<std::string>(body);
    if (body.size() != text.size())
        stored->push_back('\n');

    FilterStatus status;
    if (strncasecmp(line, "on", 2) == 0)
        status = FilterOn;
    else if (strncasecmp(line, "off", 3) == 0)
        status = FilterOff;
    else if (strncasecmp(line, "cut", 3) == 0)
        status = FilterCut;
    else
        return false;

    TimeCnfData& week = m_weeks[static_cast<size_t>(group)];
    size_t semi1 = body.find(';');
    if (semi1 == std::string_view::npos)
        return false;
    size_t semi2 = body.find(';', semi1 + 1);
    if (semi2 == std::string_view::npos) {
        week.defaultStatus = status;
        return false;
    }

    std::vector<int> days;
    if (!readDays(body.substr(semi1 + 1, semi2 - semi1 - 1), GetDateIndex, days))
        return false;
    // The times field runs to the end of the line, line end included, as read.
    std::vector<uint32_t> ranges;
    if (!readRanges(text.substr(semi2 + 1), ranges))
        return false;

    const size_t adding = days.size() * ranges.size();
    size_t held = 0;
    for (const auto& day : week.days)
        held += day.size();
    if (adding > kMaxSlotsPerLine || held + adding > kMaxSlotsPerGroup)
        return false;

    for (uint32_t range : ranges) {
        for (int d : days)
            week.days[static_cast<size_t>(d)].emplace_back(status, range, stored);
    }
    return true;
}

FilterStatus TimeCnfList::FilterStatusNow(int group) const
{
    std::tm now{};
    zpfclock::LocalNow(&now);
    // tm_wday counts from Sunday; the schedule counts from Monday.
    const int day = (now.tm_wday + 6) % 7;
    return FilterStatusAt(group, day, static_cast<unsigned int>(now.tm_hour * 256 + now.tm_min));
}

FilterStatus TimeCnfList::FilterStatusAt(int group, int day, unsigned int now) const
{
    if (m_weeks.empty())
        return FilterOn;
    // An account whose group name was unknown carries group -1; it gets group 0's week.
    if (group < 0 || group >= size())
        group = 0;
    const TimeCnfData& own = m_weeks[static_cast<size_t>(group)];
    const TimeCnfData& week = own.ownSchedule ? own : m_weeks[0];
    if (day >= 0 && day < TimeCnfData::kDays) {
        for (const auto& slot : week.days[static_cast<size_t>(day)]) {
            if (slot.Covers(now))
                return slot.status;
        }
    }
    return own.defaultStatus;
}

std::vector<TimeCnfDataLine>& TimeCnfList::GetVector(int group, int day)
{
    if (group < 0 || group >= size() || day < 0 || day >= TimeCnfData::kDays) {
        m_scratch.clear();
        return m_scratch;
    }
    return m_weeks[static_cast<size_t>(group)].days[static_cast<size_t>(day)];
}

void TimeCnfList::ClearData(int group)
{
    if (group < 0 || group >= size())
        return;
    for (auto& day : m_weeks[static_cast<size_t>(group)].days)
        day.clear();
}

void TimeCnfList::ClearData()
{
    for (int g = 0; g < size(); ++g)
        ClearData(g);
}

void TimeCnfList::AddGroup()
{
    if (m_weeks.empty())
        m_weeks.emplace_back();
    TimeCnfData copy = m_weeks[0];
    m_weeks.push_back(std::move(copy));
}
