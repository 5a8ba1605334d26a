#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/InstanceLock.h"
#include "platform/NamedEvent.h"

namespace platform {

/// A named event as its users see it; behaves as NamedEvent.
class SharedEvent {
public:
    virtual ~SharedEvent() = default;
    virtual bool Signal() = 0;
    virtual bool Reset() = 0;
    virtual bool Test() = 0;
    virtual bool Wait(int timeoutMs) = 0;
};

/// Held ownership of a class: while it lives the class's instance exists and its
/// messages reach the handler it was taken with.
class InstanceOwnership {
public:
    virtual ~InstanceOwnership() = default;
};

/// The objects processes find each other by (named events, instance locks and their
/// control channels), so the logic that uses them can be tested against a fake.
class NamedObjects {
public:
    using MessageHandler = std::function<void(const std::string& message)>;

    virtual ~NamedObjects() = default;
    /// Creates the event or opens an existing one (as NamedEvent::Create); null on failure.
    virtual std::unique_ptr<SharedEvent> CreateNamedEvent(const std::string& name, bool manualReset,
                                                          bool initialState) = 0;
    /// Opens the event only if it exists; null otherwise.
    virtual std::unique_ptr<SharedEvent> OpenNamedEvent(const std::string& name) = 0;
    /// Takes the instance lock of the class; null when another holder has it. With a
    /// handler, messages sent to the class are handed to it (on another thread).
    virtual std::unique_ptr<InstanceOwnership> AcquireInstance(const std::string& className,
                                                               MessageHandler onMessage = {}) = 0;
    virtual bool InstanceExists(const std::string& className) = 0;
    /// False when nobody takes the class's messages.
    [[nodiscard]] virtual bool SendControlMessage(const std::string& className, const std::string& message) = 0;
};

/// The real objects, scoped to one runtime folder (RuntimeDirectory of a program directory).
class RuntimeNamedObjects final : public NamedObjects {
public:
    explicit RuntimeNamedObjects(std::string runtimeDirectory)
        : m_runtimeDirectory(std::move(runtimeDirectory))
    {
    }

    std::unique_ptr<SharedEvent> CreateNamedEvent(const std::string& name, bool manualReset,
                                                  bool initialState) override;
    std::unique_ptr<SharedEvent> OpenNamedEvent(const std::string& name) override;
    std::unique_ptr<InstanceOwnership> AcquireInstance(const std::string& className,
                                                       MessageHandler onMessage = {}) override;
    bool InstanceExists(const std::string& className) override;
    bool SendControlMessage(const std::string& className, const std::string& message) override;

private:
    std::string m_runtimeDirectory;
};

} // namespace platform
