#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/LogDocument.h"

/// What the user typed into the viewer's filter fields (UTF-8). Empty fields match
/// everything; letters match without regard to case.
struct LogFilter {
    /// Dates from and to, both included: "2004/05/10" or its beginning ("2004/05");
    /// "-" and "." may stand for "/".
    std::string from, to;
    /// The beginning of the client address.
    std::string client;
    /// Part of the group name; "(default)" also finds the default group's lines.
    std::string group;
    /// Part of a category's name, or its number; a line matches through any of its
    /// categories.
    std::string category;
    /// Part of the tag: the kind of block ("URL Block", "Access Log") or the phrase.
    std::string tag;
    /// Part of the URL.
    std::string url;

    bool operator==(const LogFilter&) const = default;
};

/// Blocks at a glance: per category and per day of the last week.
struct LogSummary {
    struct Bar {
        std::string label; ///< UTF-8
        size_t count = 0;
    };
    size_t blocks = 0;
    /// The categories with the most blocks first; the rest as one bar.
    std::vector<Bar> categories;
    /// The seven days up to the newest day shown, oldest first ("MM/DD").
    std::vector<Bar> days;
};

/// The rows the table shows: the document's rows through the filter, in the chosen
/// order (file order until a column is chosen; equal rows stay in file order).
class LogQuery {
public:
    static constexpr int kFileOrder = -1;
    static constexpr size_t kCategoryBars = 6;

    explicit LogQuery(const LogDocument& document);

    void SetFilter(const LogFilter& filter);
    const LogFilter& filter() const { return m_filter; }
    /// column: a logview::Column as int, or kFileOrder.
    void Sort(int column, bool ascending);
    int sortColumn() const { return m_sortColumn; }
    bool ascending() const { return m_ascending; }

    /// After the document was read again from the start.
    void Rebuild();
    /// After rows were added at the document's end. True when the rows shown before
    /// are still shown first, in the same order (the new ones only follow them).
    bool Appended();

    /// Document rows, in the order shown.
    const std::vector<uint32_t>& rows() const { return m_visible; }
    size_t size() const { return m_visible.size(); }

    LogSummary Summary() const;

private:
    struct Compiled {
        std::string from, to, client, group, tag, url, category; // lower-case; Shift_JIS
        bool groupDefault = false;
        bool categoryIsNumber = false;
        unsigned categoryNumber = 0;
    };
    void compile();
    bool matches(size_t row) const;
    bool categoryMatches(unsigned number) const;
    void sortRange(size_t first);
    bool less(uint32_t a, uint32_t b) const;
    void refilter();

    const LogDocument& m_doc;
    LogFilter m_filter;
    Compiled m_compiled;
    mutable std::unordered_map<unsigned, bool> m_categoryHits;
    int m_sortColumn = kFileOrder;
    bool m_ascending = true;
    std::vector<uint32_t> m_order; // every row, sorted
    std::vector<std::string> m_keys; // per row, for the columns made from the rest
    std::vector<uint32_t> m_visible;
};
