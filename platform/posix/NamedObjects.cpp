// The named objects behind the NamedObjects interface: thin owners of the real ones.
#include "platform/NamedObjects.h"

namespace platform {

namespace {
class RealEvent final : public SharedEvent {
public:
    bool Signal() override { return event.Signal(); }
    bool Reset() override { return event.Reset(); }
    bool Test() override { return event.Test(); }
    bool Wait(int timeoutMs) override { return event.Wait(timeoutMs); }

    NamedEvent event;
};

class RealOwnership final : public InstanceOwnership {
public:
    // Declared after the lock, so the channel stops before the lock is released.
    InstanceLock lock;
    ControlChannel channel;
};
} // namespace

std::unique_ptr<SharedEvent> RuntimeNamedObjects::CreateNamedEvent(const std::string& name, bool manualReset,
                                                                   bool initialState)
{
    auto e = std::make_unique<RealEvent>();
    if (!e->event.Create(m_runtimeDirectory, name, manualReset, initialState))
        return nullptr;
    return e;
}

std::unique_ptr<SharedEvent> RuntimeNamedObjects::OpenNamedEvent(const std::string& name)
{
    auto e = std::make_unique<RealEvent>();
    if (!e->event.Open(m_runtimeDirectory, name))
        return nullptr;
    return e;
}

std::unique_ptr<InstanceOwnership> RuntimeNamedObjects::AcquireInstance(const std::string& className,
                                                                        MessageHandler onMessage)
{
    auto owned = std::make_unique<RealOwnership>();
    if (!owned->lock.Acquire(m_runtimeDirectory, className))
        return nullptr;
    if (onMessage && !owned->channel.Start(m_runtimeDirectory, className, std::move(onMessage)))
        return nullptr;
    return owned;
}

bool RuntimeNamedObjects::InstanceExists(const std::string& className)
{
    return platform::InstanceExists(m_runtimeDirectory, className);
}

bool RuntimeNamedObjects::SendControlMessage(const std::string& className, const std::string& message)
{
    return platform::SendControlMessage(m_runtimeDirectory, className, message);
}

} // namespace platform
