#pragma once

#include <cstddef>
#include <string>
#include <string_view>

/// The log viewer's columns and how the bytes of a log line become their texts. Every
/// function is pure; texts are Shift_JIS bytes unless a name says UTF-8.
namespace logview {

enum class Column { Date, Time, Client, Url, ShiftJis, Euc, Jis, Utf8, Category };
inline constexpr int kColumnCount = 9;

struct ColumnInfo {
    const char* title; ///< UTF-8
    /// The kept width: longer text is cut to width - 1 bytes.
    size_t width;
    /// The initial width on screen.
    int pixels;
};
const ColumnInfo& Info(Column column);

/// The bytes of the rest of a line shown as Shift_JIS: valid pairs copied, broken lead
/// bytes, control bytes and bytes from 0xF0 up as ".".
std::string ShiftJisColumn(std::string_view rest);
/// The rest read as EUC-JP: two-byte characters become Shift_JIS pairs, 0x8E drops out
/// and the byte after it stays, everything else is copied.
std::string EucColumn(std::string_view rest);
/// The rest read as 7-bit JIS that starts in two-byte mode; "ESC $ B" and "ESC ( B"
/// switch modes, bytes with the top bit set give ".".
std::string JisColumn(std::string_view rest);
/// The first 511 bytes of the rest read as UTF-8 and converted to Shift_JIS ("?" for
/// what has no Shift_JIS form).
std::string Utf8Column(std::string_view rest);

/// Cuts a Shift_JIS text longer than width - 1 bytes to at most that many, never
/// leaving half of a double-byte character behind.
std::string CutToWidth(std::string_view sjis, size_t width);

/// The file dialogs' filter in the form Qt takes ("Name (*.log);;..."), made from the
/// "name|pattern|...||" form; "*.*" becomes "*", which also matches names without a dot.
std::string QtFileFilter(std::string_view filter);

/// The address a logged URL may be opened at in a browser: http, https and ftp
/// addresses as they are, a tunnel's "host:port" as https. Empty for anything else, so
/// a crafted request line cannot make the desktop open a local file or program.
std::string BrowserAddress(std::string_view url);

} // namespace logview
