// The rows the log viewer shows: filtering as the user types, sorting by a column, and
// the summary of blocks per category and per day.
#include "core/LogQuery.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>

#include "common/Encoding.h"
#include "core/LogTexts.h"
#include "core/Texts.h"

using logview::Column;

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string text)
{
    for (char& c : text)
        c = lower(c);
    return text;
}

bool containsNoCase(std::string_view hay, std::string_view needleLower)
{
    if (needleLower.empty())
        return true;
    if (hay.size() < needleLower.size())
        return false;
    for (size_t i = 0; i + needleLower.size() <= hay.size(); ++i) {
        size_t k = 0;
        while (k < needleLower.size() && lower(hay[i + k]) == needleLower[k])
            ++k;
        if (k == needleLower.size())
            return true;
    }
    return false;
}

std::string sjisOf(const std::string& utf8)
{
    bool ascii = true;
    for (char c : utf8)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    return lowered(ascii ? utf8 : encoding::utf8ToSjis(utf8));
}

std::string dateKey(std::string text)
{
    std::replace(text.begin(), text.end(), '-', '/');
    std::replace(text.begin(), text.end(), '.', '/');
    return text;
}

// A dotted address as one number for ordering; what is not one sorts after all.
uint64_t addressKey(std::string_view address)
{
    uint64_t key = 0;
    int parts = 0;
    size_t from = 0;
    while (from <= address.size() && parts < 4) {
        size_t dot = address.find('.', from);
        if (dot == std::string_view::npos)
            dot = address.size();
        unsigned part = 0;
        auto [end, ec] = std::from_chars(address.data() + from, address.data() + dot, part);
        if (ec != std::errc() || end != address.data() + dot || part > 255)
            return uint64_t{1} << 40;
        key = key << 8 | part;
        ++parts;
        from = dot + 1;
    }
    return parts == 4 && from == address.size() + 1 ? key : uint64_t{1} << 40;
}

// Days since 1970/01/01 of a "YYYY/MM/DD" date; false when it is not one.
bool dayNumber(std::string_view date, long& days)
{
    int y = 0, m = 0, d = 0;
    if (date.size() != 10 || date[4] != '/' || date[7] != '/')
        return false;
    if (std::from_chars(date.data(), date.data() + 4, y).ec != std::errc() ||
        std::from_chars(date.data() + 5, date.data() + 7, m).ec != std::errc() ||
        std::from_chars(date.data() + 8, date.data() + 10, d).ec != std::errc() || m < 1 || m > 12 || d < 1 || d > 31)
        return false;
    // The civil calendar counted in eras of 400 years.
    y -= m <= 2 ? 1 : 0;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    days = era * 146097 + doe - 719468;
    return true;
}

std::string monthDay(long days)
{
    days += 719468;
    const long era = (days >= 0 ? days : days - 146096) / 146097;
    const long doe = days - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const long d = doy - (153 * mp + 2) / 5 + 1;
    const long m = mp + (mp < 10 ? 3 : -9);
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02ld/%02ld", m, d);
    return buf;
}

bool usesKeys(int column) { return column >= static_cast<int>(Column::ShiftJis); }

} // namespace

LogQuery::LogQuery(const LogDocument& document)
    : m_doc(document)
{
    Rebuild();
}

void LogQuery::SetFilter(const LogFilter& filter)
{
    m_filter = filter;
    compile();
    refilter();
}

void LogQuery::compile()
{
    Compiled c;
    c.from = dateKey(m_filter.from);
    c.to = dateKey(m_filter.to);
    c.client = m_filter.client;
    c.group = sjisOf(m_filter.group);
    c.groupDefault = !c.group.empty() && containsNoCase(texts::kDefaultGroup, c.group);
    c.tag = sjisOf(m_filter.tag);
    c.url = lowered(m_filter.url);
    c.category = lowered(m_filter.category);
    c.categoryIsNumber =
        !c.category.empty() &&
        std::from_chars(c.category.data(), c.category.data() + c.category.size(), c.categoryNumber).ptr ==
            c.category.data() + c.category.size();
    m_compiled = std::move(c);
    m_categoryHits.clear();
}

bool LogQuery::categoryMatches(unsigned number) const
{
    auto found = m_categoryHits.find(number);
    if (found != m_categoryHits.end())
        return found->second;
    bool hit = m_compiled.categoryIsNumber && number == m_compiled.categoryNumber;
    if (!hit) {
        const std::string& name = m_doc.CategoryName(number);
        hit = !name.empty() && containsNoCase(lowered(encoding::sjisToUtf8(name)), m_compiled.category);
    }
    m_categoryHits.emplace(number, hit);
    return hit;
}

bool LogQuery::matches(size_t row) const
{
    const Compiled& c = m_compiled;
    if (!c.from.empty() || !c.to.empty()) {
        const std::string_view date = m_doc.Field(row, Column::Date);
        if (!c.from.empty() && date < std::string_view(c.from))
            return false;
        if (!c.to.empty() && date.substr(0, c.to.size()) > std::string_view(c.to))
            return false;
    }
    if (!c.client.empty() && m_doc.Field(row, Column::Client).substr(0, c.client.size()) != c.client)
        return false;
    if (!c.group.empty()) {
        const std::string_view group = m_doc.Group(row);
        if (!(group.empty() ? c.groupDefault : containsNoCase(group, c.group)))
            return false;
    }
    if (!containsNoCase(m_doc.Tag(row), c.tag) || !containsNoCase(m_doc.Field(row, Column::Url), c.url))
        return false;
    if (!c.category.empty()) {
        const std::vector<unsigned> keys = m_doc.Keys(row);
        return std::any_of(keys.begin(), keys.end(), [this](unsigned k) { return categoryMatches(k); });
    }
    return true;
}

void LogQuery::refilter()
{
    m_visible.clear();
    m_visible.reserve(m_order.size());
    for (uint32_t row : m_order) {
        if (matches(row))
            m_visible.push_back(row);
    }
}

bool LogQuery::less(uint32_t a, uint32_t b) const
{
    if (m_sortColumn == kFileOrder)
        return a < b;
    if (!m_ascending)
        std::swap(a, b);
    const auto column = static_cast<Column>(m_sortColumn);
    if (usesKeys(m_sortColumn))
        return m_keys[a] < m_keys[b];
    if (column == Column::Client)
        return addressKey(m_doc.Field(a, column)) < addressKey(m_doc.Field(b, column));
    return m_doc.Field(a, column) < m_doc.Field(b, column);
}

void LogQuery::sortRange(size_t first)
{
    if (usesKeys(m_sortColumn)) {
        m_keys.resize(m_doc.rowCount());
        for (size_t row = first; row < m_doc.rowCount(); ++row)
            m_keys[row] = m_doc.Cell(row, static_cast<Column>(m_sortColumn));
    }
    const auto middle = m_order.begin() + static_cast<std::ptrdiff_t>(first);
    auto cmp = [this](uint32_t a, uint32_t b) { return less(a, b); };
    std::stable_sort(middle, m_order.end(), cmp);
    std::inplace_merge(m_order.begin(), middle, m_order.end(), cmp);
}

void LogQuery::Sort(int column, bool ascending)
{
    m_sortColumn = column >= 0 && column < logview::kColumnCount ? column : kFileOrder;
    m_ascending = ascending;
    m_keys.clear();
    m_order.resize(m_doc.rowCount());
    for (size_t i = 0; i < m_order.size(); ++i)
        m_order[i] = static_cast<uint32_t>(i);
    if (m_sortColumn != kFileOrder)
        sortRange(0);
    refilter();
}

void LogQuery::Rebuild()
{
    compile();
    Sort(m_sortColumn, m_ascending);
}

bool LogQuery::Appended()
{
    const size_t first = m_order.size();
    for (size_t row = first; row < m_doc.rowCount(); ++row)
        m_order.push_back(static_cast<uint32_t>(row));
    if (m_sortColumn == kFileOrder) {
        for (size_t row = first; row < m_doc.rowCount(); ++row) {
            if (matches(row))
                m_visible.push_back(static_cast<uint32_t>(row));
        }
        return true;
    }
    const std::vector<uint32_t> before = std::move(m_visible);
    sortRange(first);
    refilter();
    return m_visible.size() >= before.size() && std::equal(before.begin(), before.end(), m_visible.begin());
}

LogSummary LogQuery::Summary() const
{
    LogSummary summary;
    std::map<unsigned, size_t> perCategory;
    size_t none = 0;
    std::map<long, size_t> perDay;
    for (uint32_t row : m_visible) {
        if (!m_doc.IsBlock(row))
            continue;
        ++summary.blocks;
        unsigned number = 0;
        if (m_doc.CategoryNumber(row, number) && !m_doc.CategoryName(number).empty())
            ++perCategory[number];
        else
            ++none;
        long day = 0;
        if (dayNumber(m_doc.Field(row, Column::Date), day))
            ++perDay[day];
    }
    for (const auto& [number, count] : perCategory)
        summary.categories.push_back({encoding::sjisToUtf8(m_doc.CategoryName(number)), count});
    if (none > 0)
        summary.categories.push_back({texts::kLogNoCategory, none});
    std::stable_sort(summary.categories.begin(), summary.categories.end(),
                     [](const LogSummary::Bar& a, const LogSummary::Bar& b) { return a.count > b.count; });
    if (summary.categories.size() > kCategoryBars) {
        size_t rest = 0;
        for (size_t i = kCategoryBars - 1; i < summary.categories.size(); ++i)
            rest += summary.categories[i].count;
        summary.categories.resize(kCategoryBars - 1);
        summary.categories.push_back({texts::kLogOtherCategories, rest});
    }
    if (!perDay.empty()) {
        const long newest = perDay.rbegin()->first;
        for (long day = newest - 6; day <= newest; ++day) {
            auto found = perDay.find(day);
            summary.days.push_back({monthDay(day), found == perDay.end() ? 0 : found->second});
        }
    }
    return summary;
}
