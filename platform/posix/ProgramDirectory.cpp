// Where the running program lives.
#include "platform/ProgramDirectory.h"

#include <unistd.h>

#include <vector>

namespace platform {

std::string ExecutableDirectory()
{
    // readlink does not say how long the target is; grow until it fits.
    std::vector<char> buf(256);
    for (int tries = 0; tries < 8; ++tries) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buf.size()) {
            std::string path(buf.data(), static_cast<size_t>(n));
            auto slash = path.rfind('/');
            if (slash == std::string::npos)
                return {};
            return path.substr(0, slash + 1);
        }
        buf.resize(buf.size() * 4);
    }
    return {};
}

std::string WithTrailingSlash(std::string dir)
{
    if (!dir.empty() && dir.back() != '/')
        dir.push_back('/');
    return dir;
}

} // namespace platform
