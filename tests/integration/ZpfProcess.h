#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/Socket.h"
#include "platform/TextFile.h"
#include "support/ScriptedServer.h"

extern char** environ;

namespace zpftest {

inline long long MsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}

/// A program directory in a temporary folder holding a copy (not a link: the program
/// directory is where the executable really is) of everything the build put into its
/// program directory, and the zpf processes started from it.
class InstalledZpf {
public:
    InstalledZpf()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zpfit.XXXXXX").string();
        EXPECT_NE(::mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl + "/";
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(ZPF_BIN_DIR, ec)) {
            if (entry.is_regular_file())
                std::filesystem::copy_file(entry.path(), m_dir + entry.path().filename().string(), ec);
        }
        port = FreeLoopbackPort();
        setSetting("Port", std::to_string(port));
    }
    ~InstalledZpf()
    {
        for (pid_t pid : m_running) {
            ::kill(pid, SIGKILL);
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    InstalledZpf(const InstalledZpf&) = delete;
    InstalledZpf& operator=(const InstalledZpf&) = delete;

    const std::string& dir() const { return m_dir; }
    std::string file(const std::string& name) const { return m_dir + name; }
    std::string read(const std::string& name) const
    {
        std::string out;
        (void)platform::ReadFileBytes(file(name), out);
        return out;
    }

    /// Replaces the first "key=..." line of zpf.cnf, or puts one in front.
    void setSetting(const std::string& key, const std::string& value)
    {
        std::string text = read("zpf.cnf");
        const std::string line = key + "=" + value + "\r\n";
        size_t at = 0;
        for (; at < text.size(); at = text.find("\r\n", at) + 2) {
            if (text.compare(at, key.size() + 1, key + "=") == 0)
                break;
            if (text.find("\r\n", at) == std::string::npos) {
                at = text.size();
                break;
            }
        }
        if (at >= text.size()) {
            text = line + text;
        } else {
            size_t end = text.find("\r\n", at);
            text.replace(at, (end == std::string::npos ? text.size() : end + 2) - at, line);
        }
        platform::TextFile f;
        ASSERT_TRUE(f.Open(file("zpf.cnf"), "wb"));
        f.WriteBytes(text.data(), text.size());
        f.Close();
    }

    /// Starts zpf with the arguments and extra environment; its standard output and
    /// error go to out<n>.txt and err<n>.txt. Returns its process id.
    pid_t start(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {})
    {
        const int n = static_cast<int>(m_started++);
        lastOut = "out" + std::to_string(n) + ".txt";
        lastErr = "err" + std::to_string(n) + ".txt";
        std::vector<std::string> all{file("zpf")};
        all.insert(all.end(), args.begin(), args.end());
        // This environment without NOTIFY_SOCKET and the names env sets, then env.
        std::vector<std::string> envStrings;
        for (char** e = environ; *e; ++e) {
            const std::string name = std::string(*e).substr(0, std::string(*e).find('='));
            if (name != "NOTIFY_SOCKET" && env.count(name) == 0)
                envStrings.push_back(*e);
        }
        for (const auto& [k, v] : env)
            envStrings.push_back(k + "=" + v);
        const auto pointers = [](std::vector<std::string>& strings) {
            std::vector<char*> out;
            for (auto& s : strings)
                out.push_back(s.data());
            out.push_back(nullptr);
            return out;
        };
        std::vector<char*> argv = pointers(all);
        std::vector<char*> envp = pointers(envStrings);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, file(lastOut).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, file(lastErr).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        if (pid > 0)
            m_running.push_back(pid);
        return pid;
    }

    /// Waits at most timeoutMs for the process to end; its exit status, or -1 when
    /// it is still running (it is then killed).
    int wait(pid_t pid, int timeoutMs)
    {
        int status = 0;
        for (int waited = 0;; waited += 5) {
            pid_t r = ::waitpid(pid, &status, WNOHANG);
            if (r == pid) {
                std::erase(m_running, pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (waited >= timeoutMs) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                std::erase(m_running, pid);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    /// Runs zpf to its end (at most timeoutMs); its exit status or -1.
    int run(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {},
            int timeoutMs = 20000)
    {
        return wait(start(args, env), timeoutMs);
    }

    /// True once the proxy accepts connections on its port (false if pid ends first).
    bool waitListening(pid_t pid, int timeoutMs = 10000)
    {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            auto s = platform::ConnectTcp("127.0.0.1", port, 1000);
            if (s != platform::kInvalidSocket) {
                platform::CloseSocket(s);
                return true;
            }
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(m_running, pid);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    /// True once the file holds the text (at most timeoutMs).
    bool waitForText(const std::string& name, const std::string& text, int timeoutMs = 5000) const
    {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            if (read(name).find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return read(name).find(text) != std::string::npos;
    }

    unsigned port = 0;
    std::string lastOut, lastErr;

private:
    std::string m_dir;
    size_t m_started = 0;
    std::vector<pid_t> m_running;
};

} // namespace zpftest
