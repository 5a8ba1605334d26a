#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

/// "A window of class X exists" between processes: a process that owns class X holds
/// the instance lock "<runtime folder>X.lock". The lock goes with the process, so a
/// crashed owner never blocks the next one.
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    /// Takes the lock; false when another holder has it or the file cannot be made.
    [[nodiscard]] bool Acquire(const std::string& runtimeDirectory, const std::string& className);
    void Release();
    bool IsHeld() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

/// True when some process holds the instance lock of the class.
bool InstanceExists(const std::string& runtimeDirectory, const std::string& className);

/// The local control channel of a class: a Unix socket beside its instance lock over
/// which other processes send short text messages (for example "close"). The owner
/// runs one thread that hands each message to the handler.
class ControlChannel {
public:
    using Handler = std::function<void(const std::string& message)>;

    ControlChannel();
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    /// Starts listening; the caller must hold the class's instance lock. The handler
    /// runs on the channel's thread. Returns false on failure.
    [[nodiscard]] bool Start(const std::string& runtimeDirectory, const std::string& className, Handler handler);
    /// Stops the thread and removes the socket; waits for a running handler.
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// The message a close request sends.
inline constexpr const char* kCloseMessage = "close";

/// Sends one message to the owner of the class. Returns false when nobody listens.
[[nodiscard]] bool SendControlMessage(const std::string& runtimeDirectory, const std::string& className,
                                      const std::string& message, int timeoutMs = 2000);

} // namespace platform
