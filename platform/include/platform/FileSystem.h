#pragma once

#include <functional>
#include <string>

namespace platform {

/// Size in bytes of a regular file; -1 when the path is missing or not a regular file.
long long FileSize(const std::string& path);

/// What a path names, following symbolic links.
enum class PathKind { Missing, Directory, Other };
PathKind KindOfPath(const std::string& path);

/// Removes a file (never a directory). Returns false when it could not be removed.
[[nodiscard]] bool RemoveFile(const std::string& path);

/// True when both paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);

/// A text that stays the same while the path names the same file and changes when the
/// file is replaced (renamed over, deleted and made again); empty when it is missing.
std::string FileIdentity(const std::string& path);

/// Cuts an existing file to zero length. Returns false when it is missing or cannot be
/// written.
[[nodiscard]] bool TruncateFile(const std::string& path);

/// Fills the temporary file at the path it is given; false when that failed.
using TempFileWriter = std::function<bool(const std::string& tempPath)>;

/// Replaces the file at `path` in one step, so a reader sees the old or the new content,
/// never a half-written file, even after a power cut: `write` fills a temporary file in
/// the same directory, which is flushed to the disk, given the mode and owner of the file
/// it replaces, renamed over it, and the directory flushed too. A symbolic link at `path`
/// stays; its target is replaced. On any failure the temporary file is removed and the
/// old file is left as it was. `tempPath` names the temporary file; empty means a name of
/// its own beside the file, so two writers never share one. `newFileMode`, when not
/// negative, is the mode of a file that did not exist yet (0600 for one that holds
/// secrets); otherwise a new file gets the default mode. Returns false on failure.
[[nodiscard]] bool ReplaceFileAtomically(const std::string& path, const TempFileWriter& write,
                                         const std::string& tempPath = {}, int newFileMode = -1);

/// The mode of a new file only its owner may read: passwords, account lists.
constexpr int kPrivateFileMode = 0600;

/// Copies a file's bytes to `copyPath` through ReplaceFileAtomically, the copy readable
/// by the owner only. Returns false when the file cannot be read or the copy written.
[[nodiscard]] bool CopyFileAside(const std::string& path, const std::string& copyPath);

/// Makes a directory with the mode (before the umask); true when it exists afterwards.
[[nodiscard]] bool MakeDirectory(const std::string& path, int mode = 0700);
/// Removes a directory and everything in it, or a file; true when nothing is left.
bool RemoveTree(const std::string& path);

/// An advisory lock of a directory, held by an open lock file in it: programs that save
/// files of the directory take it for the whole save, so their saves never interleave.
/// The lock goes with the process, so a crashed holder never blocks the next one. Two
/// DirectoryLock objects of one process exclude each other too.
class DirectoryLock {
public:
    DirectoryLock() = default;
    ~DirectoryLock() { Release(); }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

    /// Waits up to timeoutMs for the lock of `directory` (its file `lockName`). False
    /// when the time ran out or the lock file cannot be made.
    [[nodiscard]] bool Acquire(const std::string& directory, const std::string& lockName, int timeoutMs);
    void Release();
    bool IsHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace platform
