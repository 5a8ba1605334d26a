// IPv4 addresses and ranges, the IP restriction list (iplist.cnf) and the IP policy
// list (ippass.cnf).
#include "config/IPlist.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "config/ConfigLines.h"
#include "config/ConfigrationFile.h"
#include "config/GroupList.h"
#include "platform/Socket.h"
#include "platform/TextFile.h"

namespace {

constexpr int kReadBuffer = 1024;

// Hands every line of an IP list file that is neither empty nor a comment to fn, with
// its trailing blanks removed. False when the file cannot be opened.
template <typename Fn> bool forEachDataLine(const char* path, Fn fn)
{
    platform::TextFile file;
    if (!path || !file.Open(path, "r"))
        return false;
    std::string line;
    while (zpfconfig::ReadLimitedLine(file, kReadBuffer, line)) {
        zpfconfig::StripTrailingSpace(line);
        if (!line.empty() && line[0] != '#')
            fn(line);
    }
    return true;
}

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// atoi of the text, kept modulo 256 exactly, however many digits follow.
unsigned char fieldValue(const char* p)
{
    while (isSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    unsigned int v = 0;
    for (; isDigit(*p); ++p)
        v = (v * 10 + static_cast<unsigned int>(*p - '0')) & 0xffu;
    if (negative)
        v = (256u - v) & 0xffu;
    return static_cast<unsigned char>(v);
}

std::string trimmed(const char* text)
{
    const char* b = text;
    while (isSpace(*b))
        ++b;
    const char* e = b + std::strlen(b);
    while (e > b && isSpace(e[-1]))
        --e;
    return std::string(b, e);
}

IPrange parseRange(const std::string& part)
{
    IPrange range;
    size_t dash = part.find('-');
    if (dash == std::string::npos) {
        range.from.IPset(part.c_str());
        range.to = range.from;
    } else {
        range.from.IPset(part.substr(0, dash).c_str());
        range.to.IPset(part.c_str() + dash + 1);
    }
    return range;
}

bool lessByFrom(const IPrange& a, const IPrange& b) { return a.from < b.from; }

} // namespace

// ---- IP ----

IP::IP(const IP* other)
{
    if (other)
        *this = *other;
}

IP::IP(const in_addr& address) { std::memcpy(addr, &address.s_addr, 4); }

int IP::IPset(const char* text)
{
    if (!text)
        return 0;
    const char* p = text;
    while (*p && !isDigit(*p))
        ++p;
    if (!*p)
        return 0;
    addr[0] = fieldValue(p);
    const char* dot = p;
    for (int i = 1; i < 4; ++i) {
        dot = std::strchr(dot, '.');
        if (!dot)
            return i;
        ++dot;
        addr[i] = fieldValue(dot);
    }
    return 4;
}

std::string IP::IPstring() const
{
    char buf[20];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", addr[0], addr[1], addr[2], addr[3]);
    return buf;
}

bool IP::IsValidIPExpression(const char* text)
{
    if (!text)
        return false;
    std::string whole = trimmed(text);
    IP probe;
    if (probe.IPset(whole.c_str()) != 4)
        return false;
    size_t dash = whole.find('-');
    if (dash == std::string::npos)
        return true;
    // Both ends on their own: "10.0-10.0.0.5" would otherwise pass on the dots of its
    // second half while its first address is only half written.
    IP first;
    IP last;
    return first.IPset(trimmed(whole.substr(0, dash).c_str()).c_str()) == 4 &&
           last.IPset(trimmed(whole.c_str() + dash + 1).c_str()) == 4;
}

bool IP::ReadStrict(std::string_view text, IP& ip)
{
    const char* p = text.data();
    const char* end = p + text.size();
    IP read;
    for (size_t i = 0; i < 4; ++i) {
        if (i > 0) {
            if (p == end || *p != '.')
                return false;
            ++p;
        }
        unsigned int v = 256;
        auto [next, ec] = std::from_chars(p, end, v);
        if (ec != std::errc() || next == p || next - p > 3 || v > 255)
            return false;
        read.addr[i] = static_cast<unsigned char>(v);
        p = next;
    }
    if (p != end)
        return false;
    ip = read;
    return true;
}

// ---- IPrange ----

bool IPrange::ReadStrict(std::string_view text, IPrange& range)
{
    const auto trim = [](std::string_view t) {
        while (!t.empty() && (t.front() == ' ' || t.front() == '\t'))
            t.remove_prefix(1);
        while (!t.empty() && (t.back() == ' ' || t.back() == '\t'))
            t.remove_suffix(1);
        return t;
    };
    IPrange read;
    const size_t dash = text.find('-');
    if (dash == std::string_view::npos) {
        if (!IP::ReadStrict(trim(text), read.from))
            return false;
        read.to = read.from;
    } else if (!IP::ReadStrict(trim(text.substr(0, dash)), read.from) ||
               !IP::ReadStrict(trim(text.substr(dash + 1)), read.to) || read.to < read.from) {
        return false;
    }
    range = read;
    return true;
}

std::string IPrange::IPstring() const { return from == to ? from.IPstring() : from.IPstring() + "-" + to.IPstring(); }

// ---- IPlist ----

void IPlist::SetDataFromLine(const char* line)
{
    IPrange range = parseRange(line ? line : "");
    m_ranges.push_back(range);
    // Keep the lookup index current: insert in order, then redo the reach from there.
    auto pos = std::upper_bound(m_sorted.begin(), m_sorted.end(), range, lessByFrom);
    size_t at = static_cast<size_t>(pos - m_sorted.begin());
    m_sorted.insert(pos, range);
    m_reach.resize(m_sorted.size());
    for (size_t i = at; i < m_sorted.size(); ++i) {
        m_reach[i] = i;
        if (i > 0 && m_sorted[m_reach[i - 1]].to > m_sorted[i].to)
            m_reach[i] = m_reach[i - 1];
    }
}

void IPlist::rebuildIndex()
{
    m_sorted = m_ranges;
    std::stable_sort(m_sorted.begin(), m_sorted.end(), lessByFrom);
    m_reach.resize(m_sorted.size());
    for (size_t i = 0; i < m_sorted.size(); ++i) {
        m_reach[i] = i;
        if (i > 0 && m_sorted[m_reach[i - 1]].to > m_sorted[i].to)
            m_reach[i] = m_reach[i - 1];
    }
}

const IPrange* IPlist::FindRange(const IP& ip) const
{
    // The last range starting at or before ip; among it and those before it, the one
    // reaching furthest covers ip if any does. Overlaps cannot hide a covering range.
    auto it = std::upper_bound(m_sorted.begin(), m_sorted.end(), ip,
                               [](const IP& v, const IPrange& r) { return v < r.from; });
    if (it == m_sorted.begin())
        return nullptr;
    const IPrange& best = m_sorted[m_reach[static_cast<size_t>(it - m_sorted.begin()) - 1]];
    return best.to >= ip ? &best : nullptr;
}

bool IPlist::CheckIP(const IP& ip) const { return !active || FindRange(ip) != nullptr; }

bool IPlist::CheckIP(const in_addr& address) const { return CheckIP(IP(address)); }

bool IPlist::CheckIP(unsigned int socket) const
{
    if (!active)
        return true;
    in_addr peer;
    if (!platform::PeerAddress(static_cast<int>(socket), &peer))
        return false;
    return CheckIP(IP(peer));
}

int IPlist::ReadFile(const char* path)
{
    clear();
    if (!forEachDataLine(path, [this](const std::string& line) {
            active = true;
            m_ranges.push_back(parseRange(line));
        }))
        return 1;
    std::stable_sort(m_ranges.begin(), m_ranges.end(), lessByFrom);
    rebuildIndex();
    return 0;
}

bool IPlist::WriteFile(const char* path) const
{
    if (!path)
        return true;
    std::string text;
    for (const auto& r : m_ranges)
        text += r.IPstring() + "\n";
    return zpfconfig::ReplaceTextFile(path, text);
}

void IPlist::clear()
{
    m_ranges.clear();
    m_sorted.clear();
    m_reach.clear();
    active = false;
}

// ---- IPDatalist ----

const GroupList& IPDatalist::groups() const
{
    return m_groups ? *m_groups : ConfigrationFileSigleton::getInstance()->groupList;
}

void IPDatalist::SetDataFromLine(const char* line)
{
    std::string text(line ? line : "");
    IPData entry;
    size_t semi1 = text.find(';');
    if (semi1 == std::string::npos) {
        entry.range = parseRange(text);
    } else {
        entry.range = parseRange(text.substr(0, semi1));
        entry.filterClient = true;
        size_t semi2 = text.find(';', semi1 + 1);
        std::string name = text.substr(semi1 + 1, semi2 == std::string::npos ? std::string::npos : semi2 - semi1 - 1);
        entry.group = std::max(0, groups().GetGroupNo(name.c_str()));
        entry.authMode = semi2 == std::string::npos ? 0 : zpfconfig::ParseIntPrefix(text.c_str() + semi2 + 1);
    }
    m_entries.push_back(entry);
}

const IPData* IPDatalist::Find(const IP& ip) const
{
    for (const auto& e : m_entries) {
        if (e.range.Contains(ip))
            return &e;
    }
    return nullptr;
}

bool IPDatalist::CheckIPData(const IP& ip, bool* filterClient, int* group, int* authMode) const
{
    const IPData* e = Find(ip);
    if (!e)
        return false;
    if (filterClient)
        *filterClient = e->filterClient;
    if (group)
        *group = e->group;
    if (authMode)
        *authMode = e->authMode;
    return true;
}

bool IPDatalist::CheckIPData(const in_addr& address, bool* filterClient, int* group, int* authMode) const
{
    return CheckIPData(IP(address), filterClient, group, authMode);
}

bool IPDatalist::CheckIPData(unsigned int socket, bool* filterClient, int* group, int* authMode) const
{
    in_addr peer;
    if (!platform::PeerAddress(static_cast<int>(socket), &peer))
        return false;
    return CheckIPData(IP(peer), filterClient, group, authMode);
}

int IPDatalist::ReadFile(const char* path)
{
    clear();
    if (!forEachDataLine(path, [this](const std::string& line) { SetDataFromLine(line.c_str()); }))
        return 1;
    SortByFirstAddress();
    return 0;
}

void IPDatalist::SortByFirstAddress()
{
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const IPData& a, const IPData& b) { return a.range.from < b.range.from; });
}

bool IPDatalist::WriteFile(const char* path) const
{
    if (!path)
        return true;
    const GroupList& list = groups();
    std::string text;
    for (const auto& e : m_entries) {
        text += e.range.IPstring();
        if (e.filterClient) {
            // A group that no longer exists is written with the default group's name.
            const char* name = e.group >= 0 && e.group < list.size() ? list.GetGroupName(e.group) : "";
            text += ";";
            text += name;
            text += ";";
            text += std::to_string(e.authMode);
        }
        text += "\n";
    }
    return zpfconfig::ReplaceTextFile(path, text);
}
