#pragma once

#include <functional>
#include <string>

namespace platform {

/// Size in bytes of a regular file; -1 when the path is missing or not a regular file.
long long FileSize(const std::string& path);

/// Removes a file (never a directory). Returns false when it could not be removed.
[[nodiscard]] bool RemoveFile(const std::string& path);

/// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

/// Fills the temporary file at the path it is given; false when that failed.
using TempFileWriter = std::function<bool(const std::string& tempPath)>;

/// Replaces the file at `path` in one step, so a reader sees the old or the new content,
/// never a half-written file: `write` fills a temporary file in the same directory, which
/// is then renamed over `path`. On any failure the temporary file is removed and `path`
/// is left as it was. `tempPath` names the temporary file; empty means path + ".tmp".
/// Returns false on failure.
[[nodiscard]] bool ReplaceFileAtomically(const std::string& path, const TempFileWriter& write,
                                         const std::string& tempPath = {});

} // namespace platform
