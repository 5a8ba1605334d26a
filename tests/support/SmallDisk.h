#pragma once

#include <string>

#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace zpftest {

/// A temporary directory on a tmpfs of its own of `kilobytes`, so a test can fill the
/// disk; unmounted afterwards. Needs root: Mounted() is false when it could not be made.
class SmallDisk : public TempDir {
public:
    explicit SmallDisk(int kilobytes)
    {
        m_mounted =
            RunProgram("mount -t tmpfs -o size=" + std::to_string(kilobytes) + "k tmpfs '" + path() + "'").status == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            (void)RunProgram("umount '" + path() + "'");
    }
    bool Mounted() const { return m_mounted; }

private:
    bool m_mounted = false;
};

} // namespace zpftest
