// File sizes, removal, the one-step replacement every writer of a whole file uses and
// the lock that keeps two programs' saves of one directory apart.
#include "platform/FileSystem.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/TextFile.h"

namespace platform {

long long FileSize(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
}

PathKind KindOfPath(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return PathKind::Missing;
    return S_ISDIR(st.st_mode) ? PathKind::Directory : PathKind::Other;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa;
    struct stat sb;
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string FileIdentity(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

bool TruncateFile(const std::string& path)
{
    // Not O_CREAT: a file that went away is not made again.
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return false;
    return ::close(fd) == 0;
}

namespace {

// The file a write to `path` lands in: the target of a symbolic link (relative links
// count from the link's directory), else the path itself.
std::string writeTarget(const std::string& path)
{
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return target;
        std::string link(4096, '\0');
        const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size())
            return target;
        link.resize(static_cast<size_t>(n));
        const size_t slash = target.rfind('/');
        target = link[0] == '/' || slash == std::string::npos ? link : target.substr(0, slash + 1) + link;
    }
    return target;
}

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A new, empty file beside `target` whose name no other writer holds; the kernel gives
// it the mode a new file gets. Empty when none could be made.
std::string makeTempBeside(const std::string& target, mode_t mode)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".%ld.%u.tmp", static_cast<long>(::getpid()), counter++);
        const std::string name = target + suffix;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

// Flushes the written temporary file to the disk and gives it the mode and owner of
// the file it replaces (when there is one), else newFileMode when it is given.
bool settleTemp(const std::string& temp, const struct stat* replaced, int newFileMode)
{
    const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = true;
    if (!replaced && newFileMode >= 0)
        ok = ::fchmod(fd, static_cast<mode_t>(newFileMode) & 07777) == 0;
    if (replaced) {
        ok = ::fchmod(fd, replaced->st_mode & 07777) == 0;
        // Only root may give a file away; anyone else keeps their own files anyway.
        if (ok && (replaced->st_uid != ::geteuid() || replaced->st_gid != ::getegid()) &&
            ::fchown(fd, replaced->st_uid, replaced->st_gid) != 0 && errno != EPERM)
            ok = false;
    }
    ok = ::fsync(fd) == 0 && ok;
    return ::close(fd) == 0 && ok;
}

// Makes a rename in `directory` last across a power cut.
void syncDirectory(const std::string& directory)
{
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool ReplaceFileAtomically(const std::string& path, const TempFileWriter& write, const std::string& tempPath,
                           int newFileMode)
{
    const std::string target = writeTarget(path);
    struct stat st;
    const bool exists = ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    // A private file is private from its first byte, not only after the rename.
    const mode_t createMode = exists ? (st.st_mode & 0666) | 0600 : newFileMode >= 0 ? 0600 : 0666;
    const std::string temp = tempPath.empty() ? makeTempBeside(target, createMode) : tempPath;
    if (temp.empty())
        return false;
    // unlink, not remove: a directory squatting on the temporary name is not ours to delete.
    if (!write(temp) || !settleTemp(temp, exists ? &st : nullptr, newFileMode) ||
        std::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    syncDirectory(directoryOf(target));
    return true;
}

bool CopyFileAside(const std::string& path, const std::string& copyPath)
{
    std::string bytes;
    if (!ReadFileBytes(path, bytes))
        return false;
    return ReplaceFileAtomically(
        copyPath,
        [&](const std::string& temp) {
            TextFile file;
            if (!file.Open(temp, "wb"))
                return false;
            const bool written = file.Puts(bytes);
            return file.Close() && written;
        },
        {}, kPrivateFileMode);
}

bool MakeDirectory(const std::string& path, int mode)
{
    if (::mkdir(path.c_str(), static_cast<mode_t>(mode) & 07777) == 0)
        return true;
    struct stat st;
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveTree(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return !ec && !PathExists(path);
}

bool DirectoryLock::Acquire(const std::string& directory, const std::string& lockName, int timeoutMs)
{
    Release();
    const std::string dir = directory.empty() || directory.back() == '/' ? directory : directory + "/";
    const int fd = ::open((dir + lockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // Open-file-description locks: a second DirectoryLock of this process waits too.
    struct flock fl { };
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_len = 1;
    for (int waited = 0;; waited += 10) {
        if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) {
            m_fd = fd;
            return true;
        }
        if ((errno != EAGAIN && errno != EACCES && errno != EINTR) || waited >= timeoutMs)
            break;
        ::usleep(10000);
    }
    ::close(fd);
    return false;
}

void DirectoryLock::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace platform
