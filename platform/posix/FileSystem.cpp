// File sizes, removal and the one-step replacement every writer of a whole file uses.
#include "platform/FileSystem.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

long long FileSize(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
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

bool ReplaceFileAtomically(const std::string& path, const TempFileWriter& write, const std::string& tempPath)
{
    const std::string temp = tempPath.empty() ? path + ".tmp" : tempPath;
    // unlink, not remove: a directory squatting on the temporary name is not ours to delete.
    if (!write(temp) || std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace platform
