// Checks of the list lines and schedule lines an administrator types.
#include "config/EditChecks.h"

#include <cctype>
#include <cstdio>
#include <optional>

#include "config/SettingChecks.h"

namespace {

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

int dayIndex(std::string_view word)
{
    static constexpr const char* kNames[] = {"monday", "tuesday",  "wednesday", "thursday",
                                             "friday", "saturday", "sunday"};
    const std::string w = lower(trim(word));
    if (w == "tur")
        return 3;
    for (int d = 0; d < 7; ++d) {
        const std::string_view name = kNames[d];
        if (w == name || (w.size() == 3 && name.substr(0, 3) == w))
            return d;
    }
    return -1;
}

std::vector<std::string_view> split(std::string_view text, char sep)
{
    std::vector<std::string_view> out;
    for (size_t start = 0;;) {
        const size_t at = text.find(sep, start);
        out.push_back(text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos)
            return out;
        start = at + 1;
    }
}

std::string badTime(bool japanese, std::string_view item)
{
    return japanese ? "時間の書式が正しくありません。hh:mmの形式で入力してください。（" + std::string(item) + "）"
                    : "The times \"" + std::string(item) +
                          "\" must read hh:mm-hh:mm, from 00:00 up to 24:00, the start before the end.";
}

} // namespace

std::string ReadScheduleLine(std::string_view line, ScheduleInput& input, bool japanese)
{
    const std::string quoted = "\"" + std::string(line) + "\"";
    for (char c : line) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
            return japanese ? "時間帯の行に改行は入力できません。" : "A schedule line may not hold a line end.";
    }
    const std::vector<std::string_view> fields = split(line, ';');
    const std::string state = lower(trim(fields[0]));
    std::optional<FilterStatus> status;
    if (state == "on")
        status = FilterOn;
    else if (state == "off")
        status = FilterOff;
    else if (state == "cut")
        status = FilterCut;
    if (!status || fields.size() < 2 || fields.size() > 3)
        return japanese ? "時間帯の行は「on;」「off;」か「on;曜日;時刻」「cut;曜日;時刻」の形で入力してください。"
                        : "The schedule line " + quoted + " must read \"on;\", \"off;\" or \"on|cut;DAYS;TIMES\".";
    if (fields.size() == 2) {
        if (!trim(fields[1]).empty() || *status == FilterCut)
            return japanese ? "既定の状態は「on;」か「off;」で入力してください。"
                            : "The state outside the slots is \"on;\" or \"off;\", not " + quoted + ".";
        input.hasDefault = true;
        input.defaultStatus = *status;
        return {};
    }
    if (*status == FilterOff)
        return japanese ? "時間帯の状態は on（フィルタリング）か cut（遮断）です。"
                        : "A slot is \"on\" (filtering) or \"cut\" (no access), not \"off\": " + quoted + ".";

    std::vector<int> days;
    for (std::string_view item : split(fields[1], ',')) {
        const size_t dash = item.find('-');
        const int first = dayIndex(item.substr(0, dash));
        const int last = dash == std::string_view::npos ? first : dayIndex(item.substr(dash + 1));
        if (first < 0 || last < 0 || first > last)
            return japanese
                       ? "曜日の書式が正しくありません。（" + std::string(item) + "）"
                       : "\"" + std::string(item) + "\" is not a day (mon ... sun) or a range of days from Monday on.";
        for (int d = first; d <= last; ++d)
            days.push_back(d);
    }
    std::vector<std::pair<int, int>> ranges;
    for (std::string_view item : split(fields[2], ',')) {
        if (trim(item).empty()) {
            ranges.emplace_back(0, 24 * 60);
            continue;
        }
        const std::string_view t = trim(item);
        const size_t dash = t.find('-');
        if (dash == std::string_view::npos)
            return badTime(japanese, item);
        const std::optional<int> start = ReadTimeOfDay(trim(t.substr(0, dash)), true);
        const std::optional<int> end = ReadTimeOfDay(trim(t.substr(dash + 1)), true);
        if (!start || !end || *start >= *end)
            return badTime(japanese, item);
        ranges.emplace_back(*start, *end);
    }
    for (int d : days) {
        for (const auto& [start, end] : ranges)
            input.slots.push_back({d, start, end, *status});
    }
    return {};
}

std::vector<std::string> ScheduleLines(const ScheduleInput& input)
{
    if (input.slots.empty())
        return {input.hasDefault && input.defaultStatus == FilterOff ? "off;\n" : "on;\n"};
    std::vector<std::string> lines{input.hasDefault && input.defaultStatus == FilterOn ? "on;\n" : "off;\n"};
    for (int day = 0; day < TimeCnfData::kDays; ++day) {
        for (const ScheduleSlot& s : input.slots) {
            if (s.day != day)
                continue;
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%s;%s;%02d:%02d-%02d:%02d\n", s.status == FilterCut ? "cut" : "on",
                          TimeCnfList::GetDayString(day), s.start / 60, s.start % 60, s.end / 60, s.end % 60);
            lines.emplace_back(buffer);
        }
    }
    return lines;
}
