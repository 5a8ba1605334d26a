// Access and block log names, the default log file and the splitting of a log line.
#include "common/LogLine.h"

#include <charconv>
#include <cstdio>

namespace logline {
namespace {

bool onlyDigitsAnd(std::string_view field, char allowed)
{
    for (char c : field) {
        if (!(c >= '0' && c <= '9') && c != allowed)
            return false;
    }
    return true;
}

bool parseNumber(std::string_view field, unsigned& number)
{
    if (field.empty() || !onlyDigitsAnd(field, '0')) // '0' adds nothing: digits only
        return false;
    auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), number);
    return ec == std::errc() && end == field.data() + field.size();
}

std::vector<std::string_view> splitCommas(std::string_view text)
{
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
}

// The tag may be a matched phrase with commas of its own, and a group name may be all
// digits, so take the first split at which everything after the group is a number.
void splitRest(std::string_view rest, LogRow& row)
{
    std::vector<std::string_view> fields = splitCommas(rest);
    size_t groupAt = fields.size() > 1 ? fields.size() - 1 : fields.size();
    for (size_t k = 1; k + 1 < fields.size(); ++k) {
        unsigned n = 0;
        bool allNumbers = true;
        for (size_t i = k + 1; i < fields.size() && allNumbers; ++i)
            allNumbers = parseNumber(fields[i], n);
        if (allNumbers) {
            groupAt = k;
            break;
        }
    }
    row.tag.clear();
    for (size_t i = 0; i < groupAt && i < fields.size(); ++i) {
        if (i > 0)
            row.tag += ',';
        row.tag += fields[i];
    }
    if (groupAt < fields.size())
        row.group = fields[groupAt];
    for (size_t i = groupAt + 1; i < fields.size(); ++i) {
        unsigned n = 0;
        parseNumber(fields[i], n);
        row.keyNumbers.push_back(n);
    }
}

} // namespace

std::string DateStamp(const std::tm& day)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%4d%02d%02d", day.tm_year + 1900, day.tm_mon + 1, day.tm_mday);
    return buf;
}

std::string DayLogFileName(bool access, std::string_view dateStamp)
{
    std::string name = access ? "access" : "block";
    name += dateStamp;
    name += ".log";
    return name;
}

std::string DefaultLogFile(int logFlag, const std::string& logPath, const std::string& programDir, const std::tm& today)
{
    // Same directory rule as the writer: an empty path means the program directory.
    std::string dir = logPath.empty() ? programDir : logPath;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    if (logFlag != 0)
        return dir + DayLogFileName(false, DateStamp(today));
    return dir + kSingleLogName;
}

bool ParseLogLine(std::string_view line, LogRow& row)
{
    row = LogRow();
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);

    std::string_view fields[4];
    size_t start = 0;
    for (auto& field : fields) {
        size_t comma = line.find(',', start);
        if (comma == std::string_view::npos)
            return false;
        field = line.substr(start, comma - start);
        start = comma + 1;
    }
    if (!onlyDigitsAnd(fields[0], '/') || !onlyDigitsAnd(fields[1], ':') || !onlyDigitsAnd(fields[2], '.'))
        return false;
    row.date = fields[0];
    row.time = fields[1];
    row.client = fields[2];
    row.url = fields[3];
    row.rest = line.substr(start);
    splitRest(row.rest, row);
    return true;
}

bool LastKeyNumber(std::string_view rest, unsigned& number)
{
    for (size_t pos = rest.size(); pos-- > 0;) {
        if (rest[pos] != ',' || pos + 1 >= rest.size() || rest[pos + 1] < '0' || rest[pos + 1] > '9')
            continue;
        const char* first = rest.data() + pos + 1;
        auto [end, ec] = std::from_chars(first, rest.data() + rest.size(), number);
        (void)end;
        return ec == std::errc();
    }
    return false;
}

} // namespace logline
