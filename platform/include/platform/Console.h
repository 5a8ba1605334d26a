#pragma once

#include <cstddef>
#include <string>

namespace platform {

/// Reads one line from standard input into `line`, without its line end. When standard
/// input is a terminal, `prompt` is written to standard error first and the typed text
/// is not echoed. Returns false at end of input, on a read error or when the line is
/// longer than maxLength (nothing is returned then).
[[nodiscard]] bool ReadSecretLine(const char* prompt, std::string& line, size_t maxLength);

/// True when standard output is a terminal (a progress bar may redraw its line).
bool StandardOutputIsTerminal();

} // namespace platform
