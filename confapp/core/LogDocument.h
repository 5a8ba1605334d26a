#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/LogColumns.h"

/// One access or block log read into memory, in file order: the file's lines are kept
/// once and each row refers to its fields, so a large log costs little more than its
/// bytes; the columns' texts are made when asked for. Follows the file while the proxy
/// writes it. One thread (the window's).
class LogDocument {
public:
    static constexpr size_t kMaxRows = 160000;
    /// A longer line keeps its first bytes only; the proxy writes far shorter ones.
    static constexpr size_t kMaxLineBytes = 64 * 1024;
    /// Bytes of lines kept at most, whatever the file holds.
    static constexpr size_t kMaxTextBytes = size_t{256} << 20;

    enum class ReadStatus { Ok, CannotOpen, FormatError };
    struct ReadResult {
        ReadStatus status = ReadStatus::Ok;
        /// Lines beyond the row limit were left out.
        bool tooManyRows = false;
        /// Lines beyond kMaxTextBytes were left out.
        bool tooLarge = false;
        /// With FormatError: the number (from 1) of the line that is not a log line.
        size_t badLine = 0;
    };
    struct FollowResult {
        /// The file was replaced, cut or continued an unfinished last line: every row
        /// was read again.
        bool reread = false;
        /// Rows added at the end (when not reread).
        size_t added = 0;
        ReadResult read;
    };
    enum class CopyStatus { Ok, CannotRead, CannotWrite };

    /// names(number, name) gives a category's Shift_JIS name; false when there is none.
    using CategoryNames = std::function<bool(unsigned number, std::string& name)>;
    explicit LogDocument(CategoryNames names, size_t maxRows = kMaxRows);

    /// Reads the file. When it cannot be opened the document stays as it was; a line
    /// that is not a log line ends the reading (the rows before it stay). A last line
    /// without its line end that is not a log line yet is taken as being written.
    ReadResult Open(const std::string& path);
    /// Takes what the proxy wrote since the last read.
    FollowResult Follow();
    const std::string& path() const { return m_path; }
    /// Reading ended early (format error or a limit); Follow adds nothing more.
    bool stopped() const { return m_stopped; }

    size_t rowCount() const { return m_rows.size(); }
    /// The bytes of a field as logged: date, time, client, URL.
    std::string_view Field(size_t row, logview::Column column) const;
    /// Everything after the fourth comma.
    std::string_view Rest(size_t row) const;
    std::string_view Tag(size_t row) const;
    std::string_view Group(size_t row) const;
    /// The key numbers of the line, in order.
    std::vector<unsigned> Keys(size_t row) const;
    /// The category shown for a row: the last key number; false when there is none.
    bool CategoryNumber(size_t row, unsigned& number) const;
    /// Not an access line.
    bool IsBlock(size_t row) const;
    /// A category's name (Shift_JIS), "" when unknown.
    const std::string& CategoryName(unsigned number) const;

    /// A column's text as kept for the table (Shift_JIS, cut to the column's width).
    std::string Cell(size_t row, logview::Column column) const;
    /// The same as UTF-8 for the screen.
    std::string DisplayText(size_t row, logview::Column column) const;

    /// Copies the current file line by line, each line ended with CR LF, replacing the
    /// target in one step (the current file itself may be the target).
    CopyStatus SaveCopy(const std::string& target) const;
    /// The same copy beside the file, named path + ".csv"; its path in csvPath.
    CopyStatus WriteCsv(std::string& csvPath) const;
    /// Cuts the current file to zero length and drops every row. False (rows kept)
    /// when the file could not be cut.
    bool Empty();

private:
    struct Row {
        uint32_t start = 0; // in m_text
        uint32_t length = 0;
        uint32_t restAt = 0; // from start
        uint16_t dateLen = 0, timeLen = 0, clientLen = 0;
        uint32_t tagLen = 0, groupLen = 0;
        uint32_t keysAt = 0, keyCount = 0; // in m_keys
    };

    void clear();
    ReadResult readNew();
    /// false: not a log line.
    bool addLine(std::string_view line);
    std::string_view text(size_t row) const;

    CategoryNames m_names;
    size_t m_maxRows;
    std::string m_path;
    std::string m_identity;
    uint64_t m_offset = 0; // bytes of the file taken so far
    size_t m_lines = 0; // lines taken so far
    bool m_lastLineOpen = false; // the last row had no line end
    bool m_stopped = false;
    std::string m_text;
    std::vector<Row> m_rows;
    std::vector<unsigned> m_keys;
    mutable std::unordered_map<unsigned, std::string> m_categoryNames;
};
