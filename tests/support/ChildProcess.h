#pragma once

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/Socket.h"
#include "support/ScriptedServer.h"

extern char** environ;

namespace zpftest {

/// Starts argv[0] (looked up on PATH) with standard input from /dev/null, its output in
/// outFile and its error in errFile (or in outFile too). Its process id, or -1.
inline pid_t Spawn(std::vector<std::string> argv, const std::string& outFile, const std::string& errFile = {},
                   std::vector<std::string> env = {})
{
    std::vector<char*> args, envp;
    for (auto& a : argv)
        args.push_back(a.data());
    for (auto& e : env)
        envp.push_back(e.data());
    args.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errFile.empty())
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.empty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

/// True once something accepts connections on 127.0.0.1:port (false after timeoutMs,
/// or as soon as alive(), when given, says the server ended).
inline bool WaitForPort(unsigned port, const std::function<bool()>& alive, int timeoutMs = 15000)
{
    bool up = false;
    WaitUntil(
        [&] {
            auto s = platform::ConnectTcp("127.0.0.1", port, 1000);
            platform::CloseSocket(s);
            up = s != platform::kInvalidSocket;
            return up || (alive && !alive());
        },
        timeoutMs);
    return up;
}

/// A program the test starts and owns: standard output and error go to a file, and
/// the process is stopped (SIGTERM, then SIGKILL) when the object goes.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(const std::vector<std::string>& argv, const std::string& outputFile)
    {
        m_pid = Spawn(argv, outputFile);
        return m_pid > 0;
    }

    /// True while the process runs.
    bool Running()
    {
        if (m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == m_pid)
            m_pid = -1;
        return m_pid > 0;
    }

    /// SIGTERM, at most graceMs to end, then SIGKILL.
    void Stop(int graceMs = 3000)
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGTERM);
        if (!WaitUntil([&] { return !Running(); }, graceMs)) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

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
