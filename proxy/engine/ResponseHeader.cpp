// The analysis of a response header: status, type, coding and length.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <strings.h>

#include "engine/HTTPServiceBody.h"
#include "engine/RequestEdits.h"

namespace {
constexpr size_t kLengthDigits = 15;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && ::strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

size_t findNoCase(std::string_view text, std::string_view needle)
{
    if (text.size() < needle.size())
        return std::string_view::npos;
    for (size_t i = 0; i + needle.size() <= text.size(); ++i) {
        if (::strncasecmp(text.data() + i, needle.data(), needle.size()) == 0)
            return i;
    }
    return std::string_view::npos;
}

/// The value of a line "<name>: value" (name in any case, blanks after the colon
/// skipped); false for a line of another name.
bool headerValue(std::string_view line, std::string_view name, std::string_view& value)
{
    if (!startsWithNoCase(line, name) || line.size() == name.size() || line[name.size()] != ':')
        return false;
    size_t p = name.size() + 1;
    while (p < line.size() && isBlank(line[p]))
        ++p;
    value = line.substr(p);
    return true;
}

/// Types besides text/* that a browser shows or runs as text, so a phrase in them counts.
constexpr std::string_view kTextTypes[] = {"application/xhtml+xml", "application/xml", "application/json",
                                           "application/javascript", "application/ecmascript"};

bool textType(std::string_view value)
{
    if (startsWithNoCase(value, "TEXT/"))
        return true;
    const std::string_view type = value.substr(0, std::min(value.find_first_of("; \t"), value.size()));
    for (std::string_view text : kTextTypes) {
        if (type.size() == text.size() && startsWithNoCase(type, text))
            return true;
    }
    return false;
}

/// Whether any type of a Content-Type value (a browser may take a later one of a list)
/// is shown or run as text.
bool anyTextType(std::string_view value)
{
    for (size_t start = 0; start <= value.size();) {
        size_t comma = std::min(value.find(',', start), value.size());
        std::string_view part = value.substr(start, comma - start);
        while (!part.empty() && isBlank(part.front()))
            part.remove_prefix(1);
        if (textType(part))
            return true;
        start = comma + 1;
    }
    return false;
}

/// A length read as atoi reads at most 15 characters. A value beyond the session's
/// 32-bit field is taken as its largest value; a negative one as unknown.
int32_t readLength(std::string_view value)
{
    value = value.substr(0, kLengthDigits);
    while (!value.empty() && isBlank(value.front()))
        value.remove_prefix(1);
    bool negative = false;
    if (!value.empty() && (value.front() == '+' || value.front() == '-')) {
        negative = value.front() == '-';
        value.remove_prefix(1);
    }
    int64_t number = 0;
    for (char c : value) {
        if (c < '0' || c > '9')
            break;
        number = number * 10 + (c - '0'); // 15 digits fit easily
    }
    if (negative)
        return number == 0 ? 0 : -1;
    return static_cast<int32_t>(std::min<int64_t>(number, std::numeric_limits<int32_t>::max()));
}
} // namespace

bool HTTPServiceBody::AnalyzeResponseHeader(std::string_view received)
{
    const size_t end = LineFeedHeaderEnd(received);
    if (end == 0)
        return false;
    response.headerLength = static_cast<uint32_t>(end);
    const std::string_view header = received.substr(0, end);

    bool haveStatus = false;
    bool haveType = false;
    bool inEncoding = false; // the last line was a Content-Encoding line: a folded line continues it
    for (size_t start = 0; start < header.size();) {
        size_t stop = header.find_first_of("\r\n", start);
        if (stop == std::string_view::npos)
            stop = header.size();
        const std::string_view line = header.substr(start, stop - start);
        start = stop + 1;
        if (line.empty())
            continue;
        std::string_view value;
        if (inEncoding && isBlank(line.front())) {
            response.contentEncoding.append(" ").append(line);
            continue;
        }
        inEncoding = false;
        if (!haveStatus) {
            const size_t at = findNoCase(line, "HTTP/");
            if (at != std::string_view::npos) {
                haveStatus = true;
                size_t p = line.find(' ', at);
                if (p == std::string_view::npos)
                    p = line.size();
                while (p < line.size() && line[p] == ' ')
                    ++p;
                response.statusText.assign(line.substr(p));
                if (response.statusText.find("304") != std::string::npos && response.length == -1)
                    response.length = 0;
                continue;
            }
        }
        if (headerValue(line, "Content-Type", value)) {
            // The first line names the type; any line naming a text type has it scanned,
            // as a browser may go by another one.
            if (!haveType)
                response.contentType.assign(value);
            response.isText = (haveType && response.isText) || anyTextType(value);
            haveType = true;
        } else if (headerValue(line, "Content-Encoding", value)) {
            // Several lines make one list, as the browser reads them.
            if (!response.contentEncoding.empty())
                response.contentEncoding.append(", ");
            response.contentEncoding.append(value);
            inEncoding = true;
        } else if (response.length == -1 && headerValue(line, "Content-Length", value)) {
            response.length = readLength(value);
        }
    }
    return true;
}
