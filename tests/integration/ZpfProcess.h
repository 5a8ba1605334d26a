#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "platform/InstanceLock.h"
#include "platform/NamedEvent.h"
#include "platform/NamedObjects.h"
#include "platform/ProcessControl.h"
#include "platform/Socket.h"
#include "support/ChildProcess.h"
#include "support/RunProgram.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

namespace zpftest {

/// What curl reported for one transfer.
struct Fetch {
    int exit = -1;
    std::string code; // HTTP status of the last answer, "000" without one
    std::string headers; // every header curl received
    std::string body;
};

/// A program directory in a temporary folder holding a copy (not a link: the program
/// directory is where the executable really is) of everything the build put into its
/// program directory, and the zpf processes started from it.
class InstalledZpf : public TempDir {
public:
    InstalledZpf()
    {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(ZPF_BIN_DIR, ec)) {
            if (entry.is_regular_file())
                std::filesystem::copy_file(entry.path(), file(entry.path().filename().string()), ec);
        }
        port = FreeLoopbackPort();
        setSetting("Port", std::to_string(port));
    }
    ~InstalledZpf()
    {
        for (pid_t pid : m_running) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }

    /// Replaces the first "key=..." line of zpf.cnf, or puts one in front.
    void setSetting(const std::string& key, const std::string& value)
    {
        std::string text = "\r\n" + readBytes("zpf.cnf");
        const size_t found = text.find("\r\n" + key + "=");
        const size_t at = found == std::string::npos ? 2 : found + 2;
        const size_t end = found == std::string::npos ? 2 : std::min(text.find("\r\n", at), text.size() - 2) + 2;
        text.replace(at, end - at, key + "=" + value + "\r\n");
        writeBytes("zpf.cnf", text.substr(2));
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
        const pid_t pid = Spawn(all, file(lastOut), file(lastErr), envStrings);
        EXPECT_GT(pid, 0);
        if (pid > 0)
            m_running.push_back(pid);
        return pid;
    }

    /// Waits at most timeoutMs for the process to end; its exit status, or -1 when
    /// it is still running (it is then killed).
    int wait(pid_t pid, int timeoutMs)
    {
        int status = 0;
        const bool ended = WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs);
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        std::erase(m_running, pid);
        return !ended ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    /// Runs zpf to its end (at most timeoutMs); its exit status or -1.
    int run(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {},
            int timeoutMs = 20000)
    {
        return wait(start(args, env), timeoutMs);
    }

    /// True once a proxy that is not our child (zpfctl, Vantrel or the keeper started it)
    /// accepts connections on the port.
    bool waitAnyListening(int timeoutMs = 15000) const { return WaitForPort(port, nullptr, timeoutMs); }
    /// True once the proxy accepts connections on its port (false if pid ends first).
    bool waitListening(pid_t pid, int timeoutMs = 10000)
    {
        bool ended = false;
        const bool listening = WaitForPort(
            port, [&] { return !(ended = ::waitpid(pid, nullptr, WNOHANG) == pid); }, timeoutMs);
        if (ended)
            std::erase(m_running, pid);
        return listening;
    }

    /// True once the file holds the text (at most timeoutMs).
    bool waitForText(const std::string& name, const std::string& text, int timeoutMs = 5000) const
    {
        return WaitUntil([&] { return readBytes(name).find(text) != std::string::npos; }, timeoutMs);
    }

    /// Starts zpf without arguments as `serving` and waits until it listens.
    void serve()
    {
        serving = start({});
        ASSERT_TRUE(waitListening(serving)) << readBytes(lastErr) << readBytes(lastOut);
    }
    /// Stops the zpf that serve() started; it must end cleanly.
    void stopServing()
    {
        ::kill(serving, SIGTERM);
        EXPECT_EQ(wait(serving, 5000), 0);
    }
    /// Enciphers the category text into adult.fdb with the built zpfctl.
    void writeCategory(const std::string& text)
    {
        writeBytes("test-category.txt", text);
        ASSERT_EQ(
            RunZpfctl(path(), "cipher encode '" + file("test-category.txt") + "' '" + file("adult.fdb") + "'").status,
            0);
    }
    /// Sends the bytes as one packet on a new connection and returns the whole answer.
    std::string raw(const std::string& bytes) const
    {
        const platform::SocketHandle s = platform::ConnectTcp("127.0.0.1", port, 2000);
        platform::SendAll(s, bytes.data(), bytes.size(), 2000);
        std::string answer = ReadUntilClose(s);
        platform::CloseSocket(s);
        return answer;
    }
    /// The page zpf<number>.html of the program directory.
    std::string page(int number) const { return readBytes("zpf" + std::to_string(number) + ".html"); }
    /// Whether fetching url through the proxy added a URL block line to the log.
    bool blockLogged(const std::string& url)
    {
        const size_t before = readBytes("zpf.log").size();
        (void)curl({url}, 5);
        return readBytes("zpf.log").substr(before).find("," + url + ",(URL Block)") != std::string::npos;
    }
    /// Asks the tray proxy running from here to end as Vantrel does: a proxy that zpfctl or
    /// Vantrel started is not our child.
    void endTray() const
    {
        platform::RuntimeNamedObjects objects(platform::RuntimeDirectory(path()));
        if (auto exit = objects.OpenNamedEvent("__zpfQueryExit")) {
            exit->Signal();
            (void)objects.SendControlMessage("zpfWndClass", platform::kCloseMessage);
        }
        EXPECT_TRUE(WaitUntil([&] { return !objects.InstanceExists("zpfWndClass"); }, 10000));
    }

    /// curl through the proxy with the extra arguments; every transfer is bounded.
    Fetch curl(const std::vector<std::string>& args, int maxSeconds = 20)
    {
        std::remove(file("curl-body").c_str());
        std::remove(file("curl-headers").c_str());
        std::vector<std::string> argv = {"curl",       "-s",
                                         "--max-time", std::to_string(maxSeconds),
                                         "-o",         file("curl-body"),
                                         "-D",         file("curl-headers"),
                                         "-w",         "%{http_code}",
                                         "-x",         "http://127.0.0.1:" + std::to_string(port)};
        argv.insert(argv.end(), args.begin(), args.end());
        Fetch f;
        f.exit = platform::RunProgram(argv, &f.code, (maxSeconds + 10) * 1000);
        f.headers = readBytes("curl-headers");
        f.body = readBytes("curl-body");
        return f;
    }

    unsigned port = 0;
    pid_t serving = -1;
    std::string lastOut, lastErr;

private:
    size_t m_started = 0;
    std::vector<pid_t> m_running;
};

} // namespace zpftest
