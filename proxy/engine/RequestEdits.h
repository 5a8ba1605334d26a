#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// Standard Base64 of bytes, with "=" padding.
std::string EncodeBase64(std::string_view bytes);
/// Decodes standard Base64 text up to its first character outside the alphabet (the
/// "=" padding, a blank, a line end); a trailing group of one character gives no
/// byte. Never fails: what cannot be read is left out.
std::string DecodeBase64(std::string_view text);

/// Where a header ends by line feeds: the position after a line feed that follows
/// another line feed with only carriage returns between them; 0 when there is none.
size_t LineFeedHeaderEnd(std::string_view data);

/// Start of the first header line (not the request or status line) of header whose
/// name is `name` (any letter case, the colon included in name), or npos.
size_t FindHeaderLine(std::string_view header, std::string_view name);

/// Whether a request header (the request line, its lines and the empty line that ends
/// it) can be edited and forwarded so that the server reads it as this proxy does:
/// every carriage return followed by a line feed, no zero byte, no line continued on
/// the next, no blank before a name's colon, no Transfer-Encoding, and Content-Length
/// lines only of digits and all alike.
bool ForwardableHeader(std::string_view header);

/// Edits of a request held in buffer whose header is the first headerLength bytes.
/// Each keeps headerLength equal to the header's new length.
namespace requestedit {

/// Replaces the request line (through its line feed) by line, which ends in "\r\n".
/// False when the request has no line feed.
bool ReplaceRequestLine(std::string& buffer, uint32_t& headerLength, std::string_view line);
/// Turns the first "HTTP/1.1" at or before the first line feed into "HTTP/1.0".
void DowngradeVersion(std::string& buffer);
/// Replaces the header line named `name` by line (which ends in "\r\n"), or adds line
/// as the last header line when there is none. False when the header has no end by
/// line feeds or the line to replace has no line feed.
bool SetHeaderLine(std::string& buffer, uint32_t& headerLength, std::string_view name, std::string_view line);
/// Replaces the first header line named `name` by line and removes the others, or
/// adds line as SetHeaderLine does when there is none. False as SetHeaderLine.
bool ReplaceHeaderLines(std::string& buffer, uint32_t& headerLength, std::string_view name, std::string_view line);
/// Removes every header line named `name`.
void RemoveHeaderLine(std::string& buffer, uint32_t& headerLength, std::string_view name);

} // namespace requestedit
