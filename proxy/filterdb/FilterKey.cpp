// Key-file lines: the key syntax with its bracket expansion, and the reader that
// walks a key file (plain or enciphered) section by section.
#include "filterdb/FilterKey.h"

#include <cstring>

#include "cipher/CDes.h"
#include "common/BaseDirectory.h"
#include "platform/TextFile.h"

namespace {

constexpr int kLineBuffer = 2048;

bool isTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view trimRight(std::string_view s)
{
    while (!s.empty() && isTrailingBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Splits text at every separator; an empty piece counts as one alternative.
std::vector<std::string_view> splitAlternatives(std::string_view text, std::string_view sep)
{
    std::vector<std::string_view> out;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(sep, start);
        if (at == std::string_view::npos) {
            out.push_back(text.substr(start));
            return out;
        }
        out.push_back(text.substr(start, at - start));
        start = at + sep.size();
    }
}

// A line without brackets: the line itself, less its trailing line ends and tabs.
FilterKey plainKey(std::string_view line)
{
    FilterKey key;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == '\t'))
        line.remove_suffix(1);
    // A key of nothing would be a prefix of every URL.
    if (line.empty())
        return key;
    key.kind = FilterKey::Plain;
    key.strings.emplace_back(line);
    return key;
}

// The strings of a bracketed line: every concatenation of one alternative from each
// group. False when they would exceed the bounds.
bool expandGroups(std::string_view line, char open, char close, std::vector<std::string>& result)
{
    // A doubled opening bracket doubles every delimiter, so single ones can be text.
    const bool doubled = line[1] == open;
    const std::string openDelim(doubled ? 2 : 1, open);
    const std::string closeDelim(doubled ? 2 : 1, close);
    const std::string_view sep = doubled ? ",," : ",";

    result.assign(1, std::string());
    size_t pos = 0;
    for (;;) {
        size_t o = line.find(openDelim, pos);
        if (o == std::string_view::npos)
            return true;
        size_t c = line.find(closeDelim, o + openDelim.size());
        if (c == std::string_view::npos)
            return true;
        auto alternatives = splitAlternatives(line.substr(o + openDelim.size(), c - o - openDelim.size()), sep);
        if (result.size() * alternatives.size() > FilterKey::kMaxExpansion)
            return false;
        std::vector<std::string> next;
        next.reserve(result.size() * alternatives.size());
        size_t totalBytes = 0;
        for (const auto& head : result) {
            for (auto alt : alternatives) {
                next.push_back(head);
                next.back().append(alt);
                totalBytes += next.back().size();
            }
        }
        if (totalBytes > FilterKey::kMaxExpandedBytes)
            return false;
        result.swap(next);
        pos = c + closeDelim.size();
    }
}

} // namespace

FilterKey FilterKey::Parse(std::string_view line)
{
    FilterKey key;
    if (line.size() < 3)
        return key;
    const char open = line[0];
    char close = 0;
    switch (open) {
    case '{':
        key.kind = Braces;
        close = '}';
        break;
    case '[':
        key.kind = Brackets;
        close = ']';
        break;
    case '(':
        key.kind = Parentheses;
        close = ')';
        break;
    default:
        return plainKey(line);
    }
    std::vector<std::string> result;
    if (!expandGroups(line, open, close, result)) {
        key.kind = Invalid;
        return key;
    }
    // An empty string would be a key that every text starts with.
    for (auto& s : result) {
        if (!s.empty())
            key.strings.push_back(std::move(s));
    }
    if (key.strings.empty())
        key.kind = Invalid;
    return key;
}

CAtFilterKeyFileReader::CAtFilterKeyFileReader(std::string fileName, bool enciphered, ErrorSink errorSink)
    : m_fileName(std::move(fileName))
    , m_enciphered(enciphered)
    , m_errorSink(std::move(errorSink))
{
}

const std::vector<FilterKey>* CAtFilterKeyFileReader::readToList(int group, const std::string& groupName)
{
    if (group != m_cachedGroup) {
        m_cache.clear();
        m_cached = false;
        m_cachedGroup = group;
    }
    if (m_cached)
        return &m_cache;
    std::vector<FilterKey> keys;
    if (!forEachKey(group, groupName, [&keys](FilterKey&& k) { keys.push_back(std::move(k)); }))
        return nullptr;
    m_cache = std::move(keys);
    m_cached = true;
    return &m_cache;
}

bool CAtFilterKeyFileReader::forEachKey(int group, const std::string& groupName,
                                        const std::function<void(FilterKey&&)>& fn)
{
    return forEachLine(group, groupName, [&](std::string_view line) {
        FilterKey key = FilterKey::Parse(line);
        if (key.kind != FilterKey::Invalid)
            fn(std::move(key));
    });
}

bool CAtFilterKeyFileReader::forEachString(int group, const std::string& groupName,
                                           const std::function<void(int, std::string_view)>& fn)
{
    return forEachLine(group, groupName, [&](std::string_view line) {
        // Most lines are plain keys: the trimmed line itself, as Parse would give it.
        if (line.size() >= 3 && line[0] != '{' && line[0] != '[' && line[0] != '(') {
            fn(FilterKey::Plain, line);
            return;
        }
        const FilterKey key = FilterKey::Parse(line);
        if (key.kind != FilterKey::Invalid)
            for (const auto& s : key.strings)
                fn(key.kind, s);
    });
}

// Hands each non-blank line of the section, trailing blanks removed, to fn.
bool CAtFilterKeyFileReader::forEachLine(int group, const std::string& groupName,
                                         const std::function<void(std::string_view)>& fn)
{
    if (m_fileName.empty())
        return false;
    bool inSection = group <= 0;
    bool done = false;
    auto onLine = [&](std::string_view raw) {
        if (done)
            return;
        std::string_view line = trimRight(raw);
        if (line.empty())
            return;
        if (inSection) {
            if (line[0] == '%' && group >= 0) {
                done = true;
                return;
            }
            fn(line);
            return;
        }
        std::string_view name;
        if (line[0] == '%') {
            name = line.substr(1);
            size_t last = name.rfind('%');
            if (last != std::string_view::npos)
                name = name.substr(0, last);
        }
        if (name == groupName)
            inSection = true;
    };
    return m_enciphered ? readDES(group, onLine) : readPlain(onLine);
}

bool CAtFilterKeyFileReader::readDES(int group, const std::function<void(std::string_view)>& onLine)
{
    CDes des;
    if (des.SettingSystem(0) != 0)
        return false;
    std::string path = baseDirectory() + m_fileName;
    if (des.OpenReadFile(path.c_str()) != 0) {
        if (m_errorSink) {
            char msg[600];
            std::snprintf(msg, sizeof msg, "%.400s[%d] Open Error - CAtFilterKeyFileReader::readToListFromDESFile()",
                          m_fileName.c_str(), group);
            m_errorSink(msg);
        }
        return false;
    }
    static const size_t markerLength = std::strlen(kEndMarker);
    char buf[kLineBuffer + 1];
    for (;;) {
        int r = des.ReadLine(buf, kLineBuffer);
        if (r == -1)
            continue; // a line too long for the cipher's buffer is skipped once
        if (r != 0)
            break;
        if (std::strncmp(buf, kEndMarker, markerLength) == 0)
            break;
        onLine(std::string_view(buf));
    }
    des.CloseReadFile();
    return true;
}

bool CAtFilterKeyFileReader::readPlain(const std::function<void(std::string_view)>& onLine)
{
    platform::TextFile file;
    std::string path = baseDirectory() + m_fileName;
    // Read-only is enough, and works on a read-only install.
    if (!file.Open(path, "rb")) {
        if (m_errorSink)
            m_errorSink(m_fileName + " Open Error - CAtFilterKeyFileReader::readToListFromPlainFile()");
        return false;
    }
    char buf[kLineBuffer];
    while (file.Gets(buf, kLineBuffer))
        onLine(std::string_view(buf));
    return true;
}
