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
/// never a half-written file, even after a power cut: `write` fills a temporary file in
/// the same directory, which is flushed to the disk, given the mode and owner of the file
/// it replaces, renamed over it, and the directory flushed too. A symbolic link at `path`
/// stays; its target is replaced. On any failure the temporary file is removed and the
/// old file is left as it was. `tempPath` names the temporary file; empty means a name of
/// its own beside the file, so two writers never share one. Returns false on failure.
[[nodiscard]] bool ReplaceFileAtomically(const std::string& path, const TempFileWriter& write,
                                         const std::string& tempPath = {});

} // namespace platform
