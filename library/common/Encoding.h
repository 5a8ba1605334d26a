#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "ravlin_export.h"

/// Japanese text encodings of the library's data files. The files hold Shift_JIS
/// (code page 932); phrase lists also carry EUC-JP, 7-bit JIS, UTF-8 and
/// percent-encoded forms of each phrase. All functions are pure and thread-safe.
namespace encoding {

enum class TextEncoding { Ascii, Jis, EucJp, ShiftJis, Unknown };

/// Lead byte of a double-byte character in code page 932 (0x81-0x9F, 0xE0-0xFC).
constexpr bool isSjisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
/// Second byte of a double-byte character in code page 932 (0x40-0x7E, 0x80-0xFC).
constexpr bool isSjisTrail(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

/// Shift_JIS pair to JIS X 0208 row and cell bytes (0x21-0x7E for a valid pair).
/// The lead byte must be 0x81-0x9F or 0xE0-0xEF and the trail byte 0x40-0xFC.
RAVLIN_EXPORT std::pair<unsigned char, unsigned char> sjisToJis(unsigned char lead, unsigned char trail);
/// JIS X 0208 row and cell bytes (0x21-0x7E each) to the Shift_JIS pair.
RAVLIN_EXPORT std::pair<unsigned char, unsigned char> jisToSjis(unsigned char row, unsigned char cell);

/// EUC-JP form of a Shift_JIS text: each pair with lead 0x81-0x9F/0xE0-0xEF becomes
/// row and cell plus 0x80; single bytes (half-width katakana included) are copied; a
/// lead byte before a byte outside 0x40-0xFC is copied with that byte; a lead byte at
/// the very end is dropped.
RAVLIN_EXPORT std::string sjisToEucForm(std::string_view sjis);
/// 7-bit JIS form: the same pairs as 7-bit row and cell bytes, with no escape sequences.
RAVLIN_EXPORT std::string sjisToJisForm(std::string_view sjis);
/// The inverse of the EUC-JP form: two-byte EUC characters become Shift_JIS pairs and
/// EUC half-width katakana (0x8E xx) single bytes; everything else is copied.
RAVLIN_EXPORT std::string eucToSjis(std::string_view euc);

/// Code page 932 to UTF-8. A byte that does not start a valid character becomes
/// U+FFFD and conversion goes on with the next byte.
RAVLIN_EXPORT std::string sjisToUtf8(std::string_view sjis);
/// UTF-8 to code page 932; characters without a Shift_JIS form and broken UTF-8
/// become '?'.
RAVLIN_EXPORT std::string utf8ToSjis(std::string_view utf8);
/// Strict conversion with the C library between two encodings named as iconv names
/// them ("CP932", "EUC-JP", "ISO-2022-JP", "UTF-8"). Returns false (out unspecified)
/// when the converter is missing or the input has a character it cannot convert.
RAVLIN_EXPORT bool convert(const char* from, const char* to, std::string_view in, std::string& out);

/// Percent-encoded pattern form of a list line such as "(word)\n": the first
/// character and the '[' or '(' after it, and the trailing ']', ')', LF and NUL, are
/// kept; between them letters, digits, "_-.*(" are kept, ")", ",", "{", "}", "[",
/// "]" are kept when doubled, and every other byte becomes %XX (upper-case hex).
RAVLIN_EXPORT std::string patternForm(std::string_view line);

/// Guesses the encoding of one line: an ESC $ B, ESC $ @ or ESC K sequence gives Jis;
/// otherwise the first byte that only EUC-JP or only Shift_JIS can hold decides; a
/// line without bytes of 0x80 or above is Ascii; anything else is Unknown.
RAVLIN_EXPORT TextEncoding detectEncoding(std::string_view line);

/// Position of the first single-byte character c in a Shift_JIS text at or after
/// `from` (which must be a character boundary), stepping over double-byte characters
/// so that a trail byte equal to c never matches; npos if there is none. A lead byte
/// not followed by a valid trail byte counts as a character of its own.
RAVLIN_EXPORT size_t findSjisChar(std::string_view text, char c, size_t from = 0);

} // namespace encoding
