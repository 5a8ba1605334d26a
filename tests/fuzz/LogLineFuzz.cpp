// Feeds arbitrary bytes to the log-line reader, and arbitrary URL, tag and group texts
// to the line writer, checking that every written entry reads back as one whole line
// (chosen by the first input byte).
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "common/LogLine.h"
#include "log/AccessLogger.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    logline::LogRow row;
    if ((data[0] & 1) == 0) {
        size_t start = 0;
        while (start <= input.size()) {
            size_t end = input.find('\n', start);
            if (end == std::string_view::npos)
                end = input.size();
            if (logline::ParseLogLine(input.substr(start, end - start), row))
                check(row.date.find_first_not_of("0123456789/") == std::string::npos);
            unsigned last = 0;
            logline::LastKeyNumber(row.rest, last);
            start = end + 1;
        }
        return 0;
    }

    // Writer side: URL, tag and group separated by 0xFF bytes.
    std::string_view parts[3];
    for (int i = 0; i < 3; ++i) {
        size_t sep = input.find('\xff');
        parts[i] = input.substr(0, sep);
        input = sep == std::string_view::npos ? std::string_view() : input.substr(sep + 1);
    }
    std::tm when{};
    when.tm_year = 104;
    when.tm_mday = 1;
    const Ipv4Bytes client{127, 0, 0, 1};
    const unsigned keys[] = {12, 999};
    std::string line = FormatAccessLine(when, &client, parts[0], parts[1], parts[2], keys);
    check(line.find('\n') == line.size() - 1);
    check(line.find('\r') == std::string::npos);
    check(logline::ParseLogLine(line, row));
    check(row.url.size() <= kMaxLoggedUrl);
    check(row.url.find(',') == std::string::npos);
    unsigned last = 0;
    check(logline::LastKeyNumber(row.rest, last) && last == 999);
    return 0;
}
