#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "config/GroupList.h"
#include "ravlin_export.h"

/// What an entry of the per-group lists (phrase.fdb, nofilter.fdb, passurl.fdb) must
/// look like to be written and read back as itself, by the library and by the proxy.
/// Vantrel's list pages and zpfctl check through here, so both refuse the same entries
/// with the same words.
namespace listchecks {

/// The longest line of a list file, line end excluded. The proxy reads the files in
/// lines of 2048 bytes with their CR LF; a longer line would reach it in pieces, each
/// taken for an entry of its own.
constexpr std::size_t kMaxLineBytes = 2000;
/// The largest list file the library reads back (larger ones are refused whole).
constexpr std::size_t kMaxFileBytes = std::size_t{16} << 20;

/// The entry typed in UTF-8 as Shift_JIS. False when a character has no Shift_JIS form
/// that reads back as the same character (sjis is then unspecified).
RAVLIN_EXPORT bool EntryFromUtf8(std::string_view utf8, std::string& sjis);

/// "" when the entry (Shift_JIS, without its line feed) can be a line of the list;
/// else a message naming the line: a line end or NUL inside it, a "%" at its start
/// (it would be read as a group's section), a line (or, for phrases, a form written
/// beside it) longer than kMaxLineBytes, and for phrases the "{{...}}" and "[[...]]"
/// forms. A trailing CR is ignored, as the file's reader does.
RAVLIN_EXPORT std::string EntryError(std::string_view entry, int line, bool phrase, bool japanese = true);

/// "" when a list file holding these group texts (Shift_JIS, lines ending in LF) stays
/// within kMaxFileBytes on disk; else a message.
RAVLIN_EXPORT std::string FileSizeError(const GroupList& groups, const std::vector<const std::string*>& texts,
                                        bool phrase, bool japanese = true);

/// The message for a line whose characters have no Shift_JIS form.
RAVLIN_EXPORT std::string UnencodableError(int line, bool japanese = true);

} // namespace listchecks
