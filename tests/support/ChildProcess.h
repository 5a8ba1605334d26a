#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/Socket.h"

extern char** environ;

namespace zpftest {

/// A program the test starts and owns: standard output and error go to a file, and
/// the process is stopped (SIGTERM, then SIGKILL) when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// Starts argv[0] (looked up on PATH) with its output in outputFile. False when it
    /// could not be started.
    bool Start(const std::vector<std::string>& argv, const std::string& outputFile)
    {
        std::vector<std::string> args = argv;
        std::vector<char*> ptrs;
        for (auto& a : args)
            ptrs.push_back(a.data());
        ptrs.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int rc = posix_spawnp(&m_pid, ptrs[0], &actions, nullptr, ptrs.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            m_pid = -1;
        return m_pid > 0;
    }

    /// True while the process runs.
    bool Running()
    {
        if (m_pid <= 0)
            return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        return true;
    }

    /// SIGTERM, at most graceMs to end, then SIGKILL.
    void Stop(int graceMs = 3000)
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        int status = 0;
        for (int waited = 0; waited < graceMs; waited += 10) {
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
};

/// True once something accepts connections on 127.0.0.1:port (false after timeoutMs,
/// or as soon as the process ends).
inline bool WaitForPort(unsigned port, ChildProcess& process, int timeoutMs = 15000)
{
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        auto s = platform::ConnectTcp("127.0.0.1", port, 1000);
        if (s != platform::kInvalidSocket) {
            platform::CloseSocket(s);
            return true;
        }
        if (!process.Running())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

/// The full path of a program on PATH, or empty when it is not installed.
inline std::string FindProgram(const std::string& name)
{
    std::string path = ::getenv("PATH") ? ::getenv("PATH") : "/usr/bin:/bin";
    path += ":/usr/sbin:/sbin";
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        std::string candidate = path.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

} // namespace zpftest
