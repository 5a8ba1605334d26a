// The log document: reading a log file into rows, following it while the proxy writes,
// the columns' texts, and the copies, the CSV file and emptying.
#include "core/LogDocument.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/Encoding.h"
#include "common/LogLine.h"
#include "platform/FileSystem.h"
#include "platform/TextFile.h"

using logview::Column;

namespace {

constexpr size_t kChunkBytes = size_t{1} << 20;

std::string utf8Of(const std::string& sjis)
{
    bool ascii = true;
    for (char c : sjis)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    return ascii ? sjis : encoding::sjisToUtf8(sjis);
}

// Copies the file's lines to the open target, each ended with CR LF: what reading in
// text mode and writing in text mode does, without holding the file in memory.
LogDocument::CopyStatus copyLines(const std::string& source, platform::TextFile& target)
{
    platform::TextFile in;
    if (!in.Open(source, "rb"))
        return LogDocument::CopyStatus::CannotRead;
    std::vector<char> buf(kChunkBytes);
    std::string out;
    char last = '\n'; // nothing read yet: no line to end
    size_t n = 0;
    while ((n = in.ReadBytes(buf.data(), buf.size())) > 0) {
        out.clear();
        for (size_t i = 0; i < n; ++i) {
            if (buf[i] == '\n' && last != '\r')
                out.push_back('\r');
            out.push_back(buf[i]);
            last = buf[i];
        }
        if (target.WriteBytes(out.data(), out.size()) != out.size())
            return LogDocument::CopyStatus::CannotWrite;
    }
    if (std::ferror(in.Handle()))
        return LogDocument::CopyStatus::CannotRead;
    if (last != '\n' && target.WriteBytes(last == '\r' ? "\n" : "\r\n", last == '\r' ? 1 : 2) == 0)
        return LogDocument::CopyStatus::CannotWrite;
    return LogDocument::CopyStatus::Ok;
}

} // namespace

LogDocument::LogDocument(CategoryNames names, size_t maxRows)
    : m_names(std::move(names))
    , m_maxRows(maxRows)
{
}

void LogDocument::clear()
{
    m_offset = 0;
    m_lines = 0;
    m_lastLineOpen = false;
    m_stopped = false;
    m_text.clear();
    m_text.shrink_to_fit();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_keys.clear();
}

LogDocument::ReadResult LogDocument::Open(const std::string& path)
{
    platform::TextFile probe;
    if (!probe.Open(path, "rb"))
        return {ReadStatus::CannotOpen};
    probe.Close();
    clear();
    m_path = path;
    m_identity = platform::FileIdentity(path);
    const long long size = platform::FileSize(path);
    // Lines shorter than their line ends: the file's size is a close upper bound.
    if (size > 0)
        m_text.reserve(std::min(static_cast<size_t>(size), kMaxTextBytes));
    return readNew();
}

LogDocument::FollowResult LogDocument::Follow()
{
    FollowResult result;
    if (m_path.empty())
        return result;
    const std::string identity = platform::FileIdentity(m_path);
    if (identity.empty())
        return result; // gone for now; a new file under the name is read when it comes
    const long long size = platform::FileSize(m_path);
    if (size < 0)
        return result;
    const auto bytes = static_cast<uint64_t>(size);
    const bool replaced = identity != m_identity || bytes < m_offset;
    if (replaced || (m_lastLineOpen && bytes > m_offset)) {
        const std::string path = m_path;
        result.read = Open(path);
        result.reread = result.read.status != ReadStatus::CannotOpen;
        return result;
    }
    if (m_stopped || bytes == m_offset)
        return result;
    const size_t before = m_rows.size();
    result.read = readNew();
    result.added = m_rows.size() - before;
    return result;
}

LogDocument::ReadResult LogDocument::readNew()
{
    ReadResult result;
    platform::TextFile file;
    if (!file.Open(m_path, "rb") || file.Seek(static_cast<long>(m_offset), SEEK_SET) != 0)
        return {ReadStatus::CannotOpen};
    std::vector<char> buf(kChunkBytes);
    std::string line; // the line being gathered, at most kMaxLineBytes of it
    uint64_t lineBytes = 0; // its length in the file
    size_t n = 0;
    auto stop = [&](ReadStatus status) {
        m_stopped = true;
        result.status = status;
        if (status == ReadStatus::FormatError)
            result.badLine = m_lines + 1;
    };
    while (!m_stopped && (n = file.ReadBytes(buf.data(), buf.size())) > 0) {
        size_t from = 0;
        while (from < n && !m_stopped) {
            const char* nl = static_cast<const char*>(std::memchr(buf.data() + from, '\n', n - from));
            const size_t end = nl ? static_cast<size_t>(nl - buf.data()) : n;
            const size_t room = kMaxLineBytes - std::min(kMaxLineBytes, line.size());
            line.append(buf.data() + from, std::min(room, end - from));
            lineBytes += end - from;
            from = end + 1;
            if (!nl)
                break;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (m_rows.size() >= m_maxRows) {
                result.tooManyRows = true;
                stop(ReadStatus::Ok);
            } else if (m_text.size() + line.size() > kMaxTextBytes) {
                result.tooLarge = true;
                stop(ReadStatus::Ok);
            } else if (!addLine(line)) {
                stop(ReadStatus::FormatError);
            } else {
                m_offset += lineBytes + 1;
                ++m_lines;
            }
            line.clear();
            lineBytes = 0;
        }
    }
    // A last line without its line end: kept when it reads as a log line already,
    // else taken as being written and looked at again by the next Follow.
    if (!m_stopped && lineBytes > 0 && m_rows.size() >= m_maxRows) {
        logline::LogRow parsed;
        result.tooManyRows = logline::ParseLogLine(line, parsed);
        m_stopped = result.tooManyRows;
    } else if (!m_stopped && lineBytes > 0 && m_text.size() + line.size() <= kMaxTextBytes && addLine(line)) {
        m_offset += lineBytes;
        ++m_lines;
        m_lastLineOpen = true;
    }
    return result;
}

bool LogDocument::addLine(std::string_view line)
{
    logline::LogRow parsed;
    if (!logline::ParseLogLine(line, parsed))
        return false;
    Row row;
    row.start = static_cast<uint32_t>(m_text.size());
    row.length = static_cast<uint32_t>(line.size());
    row.dateLen = static_cast<uint16_t>(parsed.date.size());
    row.timeLen = static_cast<uint16_t>(parsed.time.size());
    row.clientLen = static_cast<uint16_t>(parsed.client.size());
    row.restAt = static_cast<uint32_t>(line.size() - parsed.rest.size());
    row.tagLen = static_cast<uint32_t>(parsed.tag.size());
    row.groupLen = static_cast<uint32_t>(parsed.group.size());
    row.keysAt = static_cast<uint32_t>(m_keys.size());
    row.keyCount = static_cast<uint32_t>(parsed.keyNumbers.size());
    m_keys.insert(m_keys.end(), parsed.keyNumbers.begin(), parsed.keyNumbers.end());
    m_text.append(line);
    m_rows.push_back(row);
    return true;
}

std::string_view LogDocument::text(size_t row) const
{
    const Row& r = m_rows[row];
    return std::string_view(m_text).substr(r.start, r.length);
}

std::string_view LogDocument::Field(size_t row, Column column) const
{
    const Row& r = m_rows[row];
    const std::string_view line = text(row);
    const size_t timeAt = r.dateLen + 1u;
    const size_t clientAt = timeAt + r.timeLen + 1u;
    const size_t urlAt = clientAt + r.clientLen + 1u;
    switch (column) {
    case Column::Date:
        return line.substr(0, r.dateLen);
    case Column::Time:
        return line.substr(timeAt, r.timeLen);
    case Column::Client:
        return line.substr(clientAt, r.clientLen);
    case Column::Url:
        return line.substr(urlAt, r.restAt - 1 - urlAt);
    default:
        return {};
    }
}

std::string_view LogDocument::Rest(size_t row) const { return text(row).substr(m_rows[row].restAt); }

std::string_view LogDocument::Tag(size_t row) const { return Rest(row).substr(0, m_rows[row].tagLen); }

std::string_view LogDocument::Group(size_t row) const
{
    const std::string_view rest = Rest(row);
    const size_t at = std::min<size_t>(m_rows[row].tagLen + 1u, rest.size());
    return rest.substr(at, m_rows[row].groupLen);
}

std::vector<unsigned> LogDocument::Keys(size_t row) const
{
    const Row& r = m_rows[row];
    return {m_keys.begin() + r.keysAt, m_keys.begin() + r.keysAt + r.keyCount};
}

bool LogDocument::CategoryNumber(size_t row, unsigned& number) const
{
    // The last key number the proxy wrote; a group name of digits or a phrase with a
    // comma and a digit in it is not one.
    const Row& r = m_rows[row];
    if (r.keyCount == 0)
        return false;
    number = m_keys[r.keysAt + r.keyCount - 1];
    return true;
}

bool LogDocument::IsBlock(size_t row) const { return Tag(row) != logline::kAccessTag; }

const std::string& LogDocument::CategoryName(unsigned number) const
{
    auto found = m_categoryNames.find(number);
    if (found == m_categoryNames.end()) {
        std::string name;
        if (!m_names || number > 0xFFFF || !m_names(number, name))
            name.clear();
        found = m_categoryNames.emplace(number, std::move(name)).first;
    }
    return found->second;
}

std::string LogDocument::Cell(size_t row, Column column) const
{
    const size_t width = logview::Info(column).width;
    switch (column) {
    case Column::ShiftJis:
        return logview::CutToWidth(logview::ShiftJisColumn(Rest(row)), width);
    case Column::Euc:
        return logview::CutToWidth(logview::EucColumn(Rest(row)), width);
    case Column::Jis:
        return logview::CutToWidth(logview::JisColumn(Rest(row)), width);
    case Column::Utf8:
        return logview::CutToWidth(logview::Utf8Column(Rest(row)), width);
    case Column::Category: {
        unsigned number = 0;
        return CategoryNumber(row, number) ? logview::CutToWidth(CategoryName(number), width) : std::string();
    }
    default:
        return logview::CutToWidth(Field(row, column), width);
    }
}

std::string LogDocument::DisplayText(size_t row, Column column) const { return utf8Of(Cell(row, column)); }

LogDocument::CopyStatus LogDocument::SaveCopy(const std::string& target) const
{
    CopyStatus status = CopyStatus::Ok;
    const bool written = platform::ReplaceFileAtomically(target, [&](const std::string& temp) {
        platform::TextFile out;
        if (!out.Open(temp, "wb")) {
            status = CopyStatus::CannotWrite;
            return false;
        }
        status = copyLines(m_path, out);
        if (!out.Close() && status == CopyStatus::Ok)
            status = CopyStatus::CannotWrite;
        return status == CopyStatus::Ok;
    });
    if (!written && status == CopyStatus::Ok)
        status = CopyStatus::CannotWrite;
    return status;
}

LogDocument::CopyStatus LogDocument::WriteCsv(std::string& csvPath) const
{
    csvPath = m_path + ".csv";
    return SaveCopy(csvPath);
}

bool LogDocument::Empty()
{
    if (m_path.empty() || !platform::TruncateFile(m_path))
        return false;
    const std::string path = m_path;
    clear();
    m_identity = platform::FileIdentity(path);
    return true;
}
