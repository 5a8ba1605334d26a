// The library-wide program directory.
#include "common/BaseDirectory.h"

#include "platform/ProgramDirectory.h"

namespace {
std::string& storage()
{
    static std::string dir = platform::ExecutableDirectory();
    return dir;
}
} // namespace

const std::string& baseDirectory() { return storage(); }

void SetBaseDirectory(const std::string& dir) { storage() = platform::WithTrailingSlash(dir); }
