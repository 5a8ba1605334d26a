#pragma once

#include <optional>
#include <string>
#include <string_view>

/// The one spelling of a URL that the lookups compare, in the form keys are stored
/// in: no scheme, the host in lower case without trailing dots and an IPv4 address in
/// dotted decimal (read as inet_aton reads it), escapes of unreserved characters
/// decoded, "." and ".." segments resolved, repeated slashes collapsed, the fragment
/// dropped and an empty path made "/". Applying it twice gives the same text; it is
/// never more than kCanonicalGrowth bytes longer than url.
std::string CanonicalUrl(std::string_view url);

inline constexpr size_t kCanonicalGrowth = 7;

/// The extension of a canonical URL: the text after the last "." of the last path
/// segment, the query left out. Empty optional when that segment has no ".".
std::optional<std::string_view> CanonicalExtension(std::string_view canonical);
