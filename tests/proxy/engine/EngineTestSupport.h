#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "engine/EngineLimits.h"
#include "platform/Socket.h"
#include "support/ScriptedServer.h"
#include "support/TempProgramDir.h"

namespace enginetest {

/// Shortened engine limits for one test; the defaults come back afterwards.
class ScopedLimits {
public:
    ScopedLimits()
        : m_saved(engineLimits())
    {
    }
    ~ScopedLimits() { engineLimits() = m_saved; }
    EngineLimits* operator->() { return &engineLimits(); }

private:
    EngineLimits m_saved;
};

/// A connected pair of stream sockets: `client` is the test's end, `server` the
/// session's end.
struct SocketPair {
    int client = -1;
    int server = -1;
    SocketPair()
    {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        client = fds[0];
        server = fds[1];
    }
    ~SocketPair()
    {
        closeClient();
        if (server >= 0)
            ::close(server);
    }
    void send(const std::string& bytes) const { ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    void closeClient()
    {
        if (client >= 0)
            ::close(client);
        client = -1;
    }
};

/// The lines of a block log without their date and time, so they compare exactly.
inline std::vector<std::string> LogEntries(const std::string& log)
{
    std::vector<std::string> out = zpftest::CrlfLines(log);
    for (std::string& line : out)
        line.erase(0, std::min(line.size(), size_t(20)));
    return out;
}

} // namespace enginetest
