// Processes, threads and signals: detached starts, bounded runs of helper programs,
// stop signals collected by one thread, and the descriptor limit.
#include "platform/ProcessControl.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/Event.h"

extern char** environ;

namespace platform {

namespace {
struct ThreadStart {
    void (*fn)(void*);
    void* arg;
};

void* threadEntry(void* p)
{
    ThreadStart start = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    start.fn(start.arg);
    return nullptr;
}

std::vector<char*> argvOf(const std::vector<std::string>& args)
{
    std::vector<char*> v;
    v.reserve(args.size() + 1);
    for (const auto& a : args)
        v.push_back(const_cast<char*>(a.c_str()));
    v.push_back(nullptr);
    return v;
}

/// Spawn attributes giving the child an empty signal mask and default handlers for
/// the signals we block or ignore.
struct SpawnAttributes {
    posix_spawnattr_t attr;
    explicit SpawnAttributes(bool newSession)
    {
        posix_spawnattr_init(&attr);
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGTERM);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGPIPE);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (newSession)
            flags |= POSIX_SPAWN_SETSID;
        posix_spawnattr_setflags(&attr, flags);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attr); }
};

int statusOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
} // namespace

std::string ExecutablePath(int* error)
{
    std::vector<char> buf(256);
    for (int tries = 0; tries < 8; ++tries) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) {
            if (error)
                *error = errno;
            return {};
        }
        if (static_cast<size_t>(n) < buf.size())
            return std::string(buf.data(), static_cast<size_t>(n));
        buf.resize(buf.size() * 4);
    }
    if (error)
        *error = ENAMETOOLONG;
    return {};
}

bool StartDetachedThread(void (*fn)(void*), void* arg, size_t stackBytes)
{
    auto* start = new ThreadStart{fn, arg};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackBytes >= static_cast<size_t>(PTHREAD_STACK_MIN))
        pthread_attr_setstacksize(&attr, stackBytes);
    pthread_t id;
    int rc = pthread_create(&id, &attr, threadEntry, start);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete start;
        return false;
    }
    return true;
}

bool SpawnDetached(const std::string& path, const std::vector<std::string>& args)
{
    std::vector<std::string> all{path};
    all.insert(all.end(), args.begin(), args.end());
    auto argv = argvOf(all);
    SpawnAttributes attrs(true);
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), nullptr, &attrs.attr, argv.data(), environ) != 0)
        return false;
    // Reap it whenever it ends, so it never lingers as a zombie of ours.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    }).detach();
    return true;
}

bool OpenWithDesktop(const std::string& target)
{
    // posix_spawn does not search the path; the desktop's opener lives somewhere on it.
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t colon = dirs.find(':', start);
        if (colon == std::string::npos)
            colon = dirs.size();
        std::string dir = dirs.substr(start, colon - start);
        start = colon + 1;
        if (dir.empty())
            continue;
        const std::string opener = dir + "/xdg-open";
        if (::access(opener.c_str(), X_OK) == 0)
            return SpawnDetached(opener, {target});
    }
    return false;
}

int RunProgram(const std::vector<std::string>& argv, std::string* output, int timeoutMs)
{
    if (argv.empty())
        return -1;
    int pipeFds[2] = {-1, -1};
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    SpawnAttributes attrs(false);
    auto args = argvOf(argv);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, argv[0].c_str(), &actions, &attrs.attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (rc != 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string collected;
    bool timedOut = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{pipeFds[0], POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            timedOut = r == 0;
            break;
        }
        char buf[4096];
        ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        if (collected.size() < 65536)
            collected.append(buf, static_cast<size_t>(n));
    }
    ::close(pipeFds[0]);
    if (timedOut)
        ::kill(pid, SIGKILL);
    int status = 0;
    // After end of output the program is about to exit; give it the rest of the time.
    for (;;) {
        pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid)
            break;
        if (w < 0 && errno != EINTR)
            return -1;
        if (Clock::now() >= deadline && !timedOut) {
            ::kill(pid, SIGKILL);
            timedOut = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (output)
        *output = std::move(collected);
    return timedOut ? -1 : statusOf(status);
}

int RunShellCommand(const std::string& commandLine)
{
    std::vector<std::string> all{"/bin/sh", "-c", commandLine};
    auto argv = argvOf(all);
    SpawnAttributes attrs(false);
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, &attrs.attr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return statusOf(status);
}

void BlockStopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A client that goes away must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
}

int WaitStopSignal(int timeoutMs)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    timespec ts{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
    for (;;) {
        int sig = ::sigtimedwait(&set, nullptr, &ts);
        if (sig > 0)
            return sig;
        if (errno == EAGAIN)
            return 0;
        if (errno != EINTR)
            return 0;
    }
}

int WaitStopSignalOr(Event& done, int timeoutMs)
{
    const int doneFd = done.PollDescriptor();
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    // The signals are blocked, so they wait on the descriptor until read.
    const int signals = doneFd >= 0 ? ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK) : -1;
    if (signals < 0) {
        // Without descriptors, look at the event in slices.
        constexpr int kSliceMs = 100;
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        while (!done.IsSet()) {
            int wait = kSliceMs;
            if (timeoutMs >= 0) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                if (left <= 0)
                    return 0;
                wait = static_cast<int>(std::min<long long>(left, kSliceMs));
            }
            if (const int sig = WaitStopSignal(wait); sig != 0)
                return sig;
        }
        return 0;
    }
    int sig = 0;
    pollfd fds[2] = {{signals, POLLIN, 0}, {doneFd, POLLIN, 0}};
    int r = 0;
    do {
        r = ::poll(fds, 2, timeoutMs);
    } while (r < 0 && errno == EINTR);
    signalfd_siginfo info{};
    if (r > 0 && (fds[0].revents & POLLIN) && ::read(signals, &info, sizeof info) == sizeof info)
        sig = static_cast<int>(info.ssi_signo);
    ::close(signals);
    return sig;
}

long RaiseOpenFileLimit(long wanted)
{
    rlimit rl{};
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0)
        return -1;
    if (rl.rlim_cur != RLIM_INFINITY && static_cast<long>(rl.rlim_cur) < wanted) {
        rlim_t target = static_cast<rlim_t>(wanted);
        if (rl.rlim_max != RLIM_INFINITY && target > rl.rlim_max)
            target = rl.rlim_max;
        rl.rlim_cur = target;
        ::setrlimit(RLIMIT_NOFILE, &rl);
        ::getrlimit(RLIMIT_NOFILE, &rl);
    }
    return rl.rlim_cur == RLIM_INFINITY ? wanted : static_cast<long>(rl.rlim_cur);
}

void ExitProcessNow(int status) { ::_exit(status); }

std::string SystemErrorText(int error)
{
    char buf[256];
    // GNU strerror_r returns the text, possibly not in buf.
    const char* text = ::strerror_r(error, buf, sizeof buf);
    return text ? text : "";
}

bool PosixProgramLauncher::SpawnDetached(const std::string& path, const std::vector<std::string>& args)
{
    return platform::SpawnDetached(path, args);
}

int PosixProgramLauncher::RunProgram(const std::vector<std::string>& argv, std::string* output, int timeoutMs)
{
    return platform::RunProgram(argv, output, timeoutMs);
}

int PosixProgramLauncher::RunShellCommand(const std::string& commandLine)
{
    return platform::RunShellCommand(commandLine);
}

} // namespace platform
