// Bounded line reading, safe number parsing and whole-file replacement for the
// configuration files.
#include "config/ConfigLines.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/FileSystem.h"

namespace zpfconfig {

int ParseIntPrefix(const char* text)
{
    if (!text)
        return 0;
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value <= static_cast<long long>(INT_MAX) + 1)
            value = value * 10 + (*p - '0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

bool ReadLimitedLine(platform::TextFile& file, int bufferSize, std::string& line, int* overlong)
{
    std::FILE* f = file.Handle();
    if (!f || bufferSize < 2)
        return false;
    const size_t limit = static_cast<size_t>(bufferSize) - 1; // characters, line end included
    for (;;) {
        line.clear();
        bool any = false;
        bool tooLong = false;
        int c;
        while ((c = std::getc(f)) != EOF) {
            any = true;
            if (c == '\n')
                break;
            if (line.size() <= limit)
                line.push_back(static_cast<char>(c));
            else
                tooLong = true;
        }
        if (!any)
            return false;
        // Text mode: CR LF reads as LF.
        if (file.IsText() && c == '\n' && !line.empty() && line.back() == '\r')
            line.pop_back();
        if (c == '\n')
            line.push_back('\n');
        if (!tooLong && line.size() <= limit)
            return true;
        if (overlong)
            ++*overlong;
    }
}

bool ReplaceTextFile(const std::string& path, const std::string& text, int newFileMode)
{
    const bool ok = platform::ReplaceFileAtomically(
        path,
        [&](const std::string& temp) {
            platform::TextFile file;
            if (!file.Open(temp, "wt"))
                return false;
            const bool written = file.Puts(text);
            return file.Close() && written;
        },
        {}, newFileMode);
    return !ok;
}

void StripTrailingSpace(std::string& text)
{
    size_t len = text.size();
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\t' || text[len - 1] == '\r' || text[len - 1] == '\n'))
        --len;
    text.resize(len);
}

} // namespace zpfconfig
