// Instance locks (open-file-description locks on a file per class) and the local
// control channel (a Unix stream socket beside the lock).
#include "platform/InstanceLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "platform/Event.h"

namespace platform {

namespace {
bool setLock(int fd, short type)
{
    struct flock fl { };
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    for (;;) {
        if (::fcntl(fd, F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

bool validName(const std::string& name)
{
    return !name.empty() && name.size() < 200 && name.find('/') == std::string::npos;
}

/// Fills a Unix socket address for dir + file. A path too long for sun_path is
/// reached through /proc/self/fd of an open handle on the directory.
bool unixAddress(const std::string& dir, const std::string& file, sockaddr_un& addr, int& dirFd)
{
    dirFd = -1;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::string path = dir + file;
    if (path.size() >= sizeof addr.sun_path) {
        dirFd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dirFd < 0)
            return false;
        path = "/proc/self/fd/" + std::to_string(dirFd) + "/" + file;
        if (path.size() >= sizeof addr.sun_path) {
            ::close(dirFd);
            dirFd = -1;
            return false;
        }
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}
} // namespace

InstanceLock::~InstanceLock() { Release(); }

bool InstanceLock::Acquire(const std::string& runtimeDirectory, const std::string& className)
{
    Release();
    if (!validName(className))
        return false;
    ::mkdir(runtimeDirectory.c_str(), 0775);
    int fd = ::open((runtimeDirectory + className + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0664);
    if (fd < 0)
        return false;
    if (!setLock(fd, F_WRLCK)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void InstanceLock::Release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool InstanceExists(const std::string& runtimeDirectory, const std::string& className)
{
    if (!validName(className))
        return false;
    int fd = ::open((runtimeDirectory + className + ".lock").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock fl { };
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 1;
    bool held = ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

struct ControlChannel::Impl {
    int listenFd = -1;
    std::string socketPath;
    std::string runtimeDirectory;
    std::string socketFile;
    Event stop{true};
    std::thread thread;
    Handler handler;

    void run()
    {
        for (;;) {
            pollfd fds[2] = {{listenFd, POLLIN, 0}, {stop.PollDescriptor(), POLLIN, 0}};
            int r = ::poll(fds, 2, 1000);
            if (stop.IsSet())
                return;
            if (r <= 0 || !(fds[0].revents & POLLIN))
                continue;
            int c = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0)
                continue;
            // One short message per connection; a silent client gets one second.
            std::string message;
            char buf[256];
            while (message.size() < 1024) {
                pollfd p{c, POLLIN, 0};
                if (::poll(&p, 1, 1000) <= 0)
                    break;
                ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                message.append(buf, static_cast<size_t>(n));
                if (message.find('\n') != std::string::npos)
                    break;
            }
            ::close(c);
            auto nl = message.find('\n');
            if (nl != std::string::npos)
                message.resize(nl);
            if (!message.empty() && handler)
                handler(message);
        }
    }
};

ControlChannel::ControlChannel() = default;
ControlChannel::~ControlChannel() { Stop(); }

bool ControlChannel::Start(const std::string& runtimeDirectory, const std::string& className, Handler handler)
{
    Stop();
    if (!validName(className))
        return false;
    auto impl = std::make_unique<Impl>();
    impl->runtimeDirectory = runtimeDirectory;
    impl->socketFile = className + ".sock";
    impl->handler = std::move(handler);
    sockaddr_un addr;
    int dirFd = -1;
    if (!unixAddress(runtimeDirectory, impl->socketFile, addr, dirFd))
        return false;
    // The caller holds the instance lock, so a socket file found here is stale.
    ::unlink(addr.sun_path);
    impl->listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    bool ok = impl->listenFd >= 0 && ::bind(impl->listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
              ::listen(impl->listenFd, 4) == 0;
    if (dirFd >= 0)
        ::close(dirFd);
    if (!ok) {
        if (impl->listenFd >= 0)
            ::close(impl->listenFd);
        return false;
    }
    Impl* raw = impl.get();
    impl->thread = std::thread([raw] { raw->run(); });
    m_impl = std::move(impl);
    return true;
}

void ControlChannel::Stop()
{
    if (!m_impl)
        return;
    m_impl->stop.Set();
    if (m_impl->thread.joinable())
        m_impl->thread.join();
    ::close(m_impl->listenFd);
    ::unlink((m_impl->runtimeDirectory + m_impl->socketFile).c_str());
    m_impl.reset();
}

bool SendControlMessage(const std::string& runtimeDirectory, const std::string& className, const std::string& message,
                        int timeoutMs)
{
    if (!validName(className))
        return false;
    sockaddr_un addr;
    int dirFd = -1;
    if (!unixAddress(runtimeDirectory, className + ".sock", addr, dirFd))
        return false;
    int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ok = s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (dirFd >= 0)
        ::close(dirFd);
    if (ok) {
        std::string line = message + "\n";
        pollfd p{s, POLLOUT, 0};
        ok = ::poll(&p, 1, timeoutMs) > 0 &&
             ::send(s, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    }
    if (s >= 0)
        ::close(s);
    return ok;
}

} // namespace platform
