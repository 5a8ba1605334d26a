#pragma once

#include <string>

namespace platform {

/// Directory of the running executable with a trailing '/', read from /proc/self/exe.
/// Returns an empty string when the link cannot be read. No length cut.
std::string ExecutableDirectory();

/// Appends '/' unless the text already ends with one (empty stays empty).
std::string WithTrailingSlash(std::string dir);

} // namespace platform
