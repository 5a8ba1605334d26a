// Named events between processes: one small file per event in the runtime folder,
// guarded by open-file-description locks. Every holder keeps a shared lock on the
// "holder" byte, so the event exists exactly while someone holds it; the kernel
// drops the locks of a dead process, so a crash never leaves a stale event behind.
#include "platform/NamedEvent.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {
constexpr off_t kGuardByte = 0; // write-locked while a holder reads or changes the file
constexpr off_t kHolderByte = 1; // read-locked by every open handle
constexpr off_t kStateOffset = 16;
constexpr int kPollMs = 10;
constexpr int kWatchFromMs = 100; // waits longer than this watch the file
constexpr int kWatchCheckMs = 1000; // a watched wait still looks this often

bool lockByte(int fd, short type, off_t at, bool wait)
{
    struct flock fl { };
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    for (;;) {
        if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

bool heldByOthers(int fd, off_t at)
{
    struct flock fl { };
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    if (::fcntl(fd, F_OFD_GETLK, &fl) != 0)
        return false;
    return fl.l_type != F_UNLCK;
}

bool validName(const std::string& name)
{
    return !name.empty() && name.size() < 200 && name.find('/') == std::string::npos && name != "." && name != "..";
}

/// Holds the guard byte for one step.
class Guard {
public:
    explicit Guard(int fd)
        : m_fd(fd)
        , m_ok(lockByte(fd, F_WRLCK, kGuardByte, true))
    {
    }
    ~Guard()
    {
        if (m_ok)
            lockByte(m_fd, F_UNLCK, kGuardByte, false);
    }
    bool ok() const { return m_ok; }

private:
    int m_fd;
    bool m_ok;
};
} // namespace

std::string RuntimeDirectory(const std::string& programDirectory)
{
    std::string dir = programDirectory;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir + "run/";
}

struct NamedEvent::Impl {
    int fd = -1;
    std::string path; // the event's file, watched by long waits
    std::mutex lock; // OFD locks do not exclude threads sharing one descriptor

    bool readState(unsigned char state[2]) { return ::pread(fd, state, 2, kStateOffset) == 2; }
    bool writeState(const unsigned char state[2]) { return ::pwrite(fd, state, 2, kStateOffset) == 2; }
};

NamedEvent::NamedEvent() = default;
NamedEvent::~NamedEvent() { Close(); }

bool NamedEvent::Create(const std::string& runtimeDirectory, const std::string& name, bool manualReset,
                        bool initialState)
{
    Close();
    if (!validName(name))
        return false;
    ::mkdir(runtimeDirectory.c_str(), 0775);
    auto impl = std::make_unique<Impl>();
    impl->path = runtimeDirectory + name + ".event";
    impl->fd = ::open(impl->path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0664);
    if (impl->fd < 0)
        return false;
    {
        Guard guard(impl->fd);
        if (!guard.ok()) {
            ::close(impl->fd);
            return false;
        }
        if (!heldByOthers(impl->fd, kHolderByte)) {
            // Nobody holds it: whatever the file says is left from earlier holders.
            const unsigned char state[2] = {static_cast<unsigned char>(initialState ? 1 : 0),
                                            static_cast<unsigned char>(manualReset ? 1 : 0)};
            if (!impl->writeState(state)) {
                ::close(impl->fd);
                return false;
            }
        }
        if (!lockByte(impl->fd, F_RDLCK, kHolderByte, false)) {
            ::close(impl->fd);
            return false;
        }
    }
    m_impl = std::move(impl);
    return true;
}

bool NamedEvent::Open(const std::string& runtimeDirectory, const std::string& name)
{
    Close();
    if (!validName(name))
        return false;
    auto impl = std::make_unique<Impl>();
    impl->path = runtimeDirectory + name + ".event";
    impl->fd = ::open(impl->path.c_str(), O_RDWR | O_CLOEXEC);
    if (impl->fd < 0)
        return false;
    {
        Guard guard(impl->fd);
        if (!guard.ok() || !heldByOthers(impl->fd, kHolderByte) || !lockByte(impl->fd, F_RDLCK, kHolderByte, false)) {
            ::close(impl->fd);
            return false;
        }
    }
    m_impl = std::move(impl);
    return true;
}

bool NamedEvent::IsOpen() const { return m_impl != nullptr; }

void NamedEvent::Close()
{
    if (m_impl) {
        ::close(m_impl->fd); // drops this handle's locks
        m_impl.reset();
    }
}

bool NamedEvent::setSignalled(bool signalled)
{
    if (!m_impl)
        return false;
    std::lock_guard<std::mutex> threads(m_impl->lock);
    Guard guard(m_impl->fd);
    unsigned char state[2];
    if (!guard.ok() || !m_impl->readState(state))
        return false;
    state[0] = signalled ? 1 : 0;
    return m_impl->writeState(state);
}

bool NamedEvent::Signal() { return setSignalled(true); }

bool NamedEvent::Reset() { return setSignalled(false); }

bool NamedEvent::Test()
{
    if (!m_impl)
        return false;
    std::lock_guard<std::mutex> threads(m_impl->lock);
    Guard guard(m_impl->fd);
    unsigned char state[2];
    if (!guard.ok() || !m_impl->readState(state) || state[0] == 0)
        return false;
    if (state[1] == 0) { // auto reset: this waiter takes the signal
        state[0] = 0;
        m_impl->writeState(state);
    }
    return true;
}

bool NamedEvent::Wait(int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    // A long wait sleeps until the file changes (a signal writes it) instead of looking
    // every few milliseconds; the watch comes before the first look, so no change is
    // missed. Where no watch can be had, it looks every kPollMs.
    int watch = -1;
    if (m_impl && (timeoutMs < 0 || timeoutMs > kWatchFromMs)) {
        watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (watch >= 0 && ::inotify_add_watch(watch, m_impl->path.c_str(), IN_MODIFY) < 0) {
            ::close(watch);
            watch = -1;
        }
    }
    bool signalled = false;
    for (;;) {
        if (Test()) {
            signalled = true;
            break;
        }
        int left = kWatchCheckMs;
        if (timeoutMs >= 0) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (!m_impl || ms <= 0)
                break;
            left = static_cast<int>(std::min<long long>(ms, kWatchCheckMs));
        } else if (!m_impl) {
            break;
        }
        if (watch < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(left, kPollMs)));
            continue;
        }
        pollfd p{watch, POLLIN, 0};
        if (::poll(&p, 1, left) > 0) {
            char events[4096];
            while (::read(watch, events, sizeof events) > 0) { }
        }
    }
    if (watch >= 0)
        ::close(watch);
    return signalled;
}

} // namespace platform
