#pragma once

#include <memory>
#include <string>

namespace platform {

/// Runtime folder of a program directory ("<dir>run/"), where every named object
/// lives, so two installations never see each other's objects.
std::string RuntimeDirectory(const std::string& programDirectory);

/// An event shared between processes by name, scoped to one runtime folder. It
/// exists while some process holds it open; when the last holder closes (or dies)
/// it is gone, and the next Create starts afresh, so nothing a crashed process
/// left behind can block a new one. Operations take a file lock for a moment;
/// short waits look at the state every 10 ms, long ones when the file changes.
/// Any thread may use an object.
class NamedEvent {
public:
    NamedEvent();
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    /// Creates the event, or opens it when it already exists (then manualReset and
    /// initialState are ignored, as with an existing event on the original system).
    /// Makes the runtime folder when missing. Returns false on failure.
    [[nodiscard]] bool Create(const std::string& runtimeDirectory, const std::string& name, bool manualReset,
                              bool initialState);
    /// Opens the event only if some process holds it. Returns false when it does not
    /// exist or cannot be opened.
    [[nodiscard]] bool Open(const std::string& runtimeDirectory, const std::string& name);
    /// True after Create or Open succeeded and before Close.
    bool IsOpen() const;
    void Close();

    /// Returns false when the state could not be changed.
    bool Signal();
    bool Reset();
    /// True when signalled; an auto-reset event is cleared by a successful test.
    bool Test();
    /// Waits until signalled or timeoutMs passes (negative: no limit); true when
    /// signalled (an auto-reset event is then cleared).
    bool Wait(int timeoutMs);

private:
    bool setSignalled(bool signalled);
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace platform
