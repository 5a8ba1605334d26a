// In-memory doubles of the OS services.
#include "platform/fake/FakeServices.h"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace platform::fake {

// ---- services ----

int FakeServiceController::Install(const std::string& serviceName, const std::string& execPath)
{
    if (!units.emplace(ServiceUnitName(serviceName), Unit{execPath, ServiceState::Stopped, {}, 0}).second)
        return EEXIST;
    return 0;
}

int FakeServiceController::Find(const std::string& serviceName)
{
    return units.count(ServiceUnitName(serviceName)) ? 0 : ENOENT;
}

ServiceState FakeServiceController::Query(const std::string& serviceName)
{
    auto it = units.find(ServiceUnitName(serviceName));
    return it == units.end() ? ServiceState::Stopped : it->second.state;
}

int FakeServiceController::Start(const std::string& serviceName, const std::vector<std::string>& args)
{
    auto it = units.find(ServiceUnitName(serviceName));
    if (it == units.end())
        return ENOENT;
    it->second.state = ServiceState::Running;
    it->second.args = args;
    ++it->second.starts;
    return 0;
}

int FakeServiceController::Stop(const std::string& serviceName)
{
    auto it = units.find(ServiceUnitName(serviceName));
    if (it == units.end())
        return ENOENT;
    if (it->second.state == ServiceState::Stopped)
        return ESRCH;
    it->second.state = ServiceState::Stopped;
    return 0;
}

int FakeServiceController::Remove(const std::string& serviceName)
{
    return units.erase(ServiceUnitName(serviceName)) ? 0 : ENOENT;
}

// ---- named events and instances ----

struct FakeNamedObjects::State {
    struct Event {
        bool manualReset;
        bool signalled;
    };
    // An event lives while a handle holds it, as the real one does.
    std::map<std::string, std::weak_ptr<Event>> events;
    std::map<std::string, MessageHandler> instances;
};

namespace {
class FakeEvent final : public SharedEvent {
public:
    explicit FakeEvent(std::shared_ptr<FakeNamedObjects::State::Event> e)
        : m_event(std::move(e))
    {
    }
    bool Signal() override
    {
        m_event->signalled = true;
        return true;
    }
    bool Reset() override
    {
        m_event->signalled = false;
        return true;
    }
    bool Test() override
    {
        if (!m_event->signalled)
            return false;
        if (!m_event->manualReset)
            m_event->signalled = false;
        return true;
    }
    bool Wait(int) override { return Test(); }

private:
    std::shared_ptr<FakeNamedObjects::State::Event> m_event;
};

class FakeOwnership final : public InstanceOwnership {
public:
    FakeOwnership(std::weak_ptr<FakeNamedObjects::State> state, std::string name)
        : m_state(std::move(state))
        , m_name(std::move(name))
    {
    }
    ~FakeOwnership() override
    {
        if (auto state = m_state.lock())
            state->instances.erase(m_name);
    }

private:
    std::weak_ptr<FakeNamedObjects::State> m_state;
    std::string m_name;
};
} // namespace

FakeNamedObjects::FakeNamedObjects()
    : m_state(std::make_shared<State>())
{
}

FakeNamedObjects::~FakeNamedObjects() = default;

std::unique_ptr<SharedEvent> FakeNamedObjects::CreateNamedEvent(const std::string& name, bool manualReset,
                                                                bool initialState)
{
    auto existing = m_state->events[name].lock();
    if (!existing) {
        existing = std::make_shared<State::Event>(State::Event{manualReset, initialState});
        m_state->events[name] = existing;
    }
    return std::make_unique<FakeEvent>(existing);
}

std::unique_ptr<SharedEvent> FakeNamedObjects::OpenNamedEvent(const std::string& name)
{
    auto it = m_state->events.find(name);
    auto existing = it == m_state->events.end() ? nullptr : it->second.lock();
    if (!existing)
        return nullptr;
    return std::make_unique<FakeEvent>(existing);
}

std::unique_ptr<InstanceOwnership> FakeNamedObjects::AcquireInstance(const std::string& className,
                                                                     MessageHandler onMessage)
{
    if (!m_state->instances.emplace(className, std::move(onMessage)).second)
        return nullptr;
    return std::make_unique<FakeOwnership>(m_state, className);
}

bool FakeNamedObjects::InstanceExists(const std::string& className) { return m_state->instances.count(className) > 0; }

bool FakeNamedObjects::SendControlMessage(const std::string& className, const std::string& message)
{
    auto it = m_state->instances.find(className);
    if (it == m_state->instances.end() || !it->second)
        return false;
    // A copy: the handler may give up the instance while it runs.
    MessageHandler handler = it->second;
    handler(message);
    return true;
}

bool FakeNamedObjects::IsSignalled(const std::string& name) const
{
    auto it = m_state->events.find(name);
    auto existing = it == m_state->events.end() ? nullptr : it->second.lock();
    return existing && existing->signalled;
}

// ---- settings hive ----

struct FakeSettingsHive::Key {
    std::string name;
    std::vector<SettingsValue> values; // in creation order
    std::vector<std::unique_ptr<Key>> subkeys; // in creation order
};

namespace {
// The store compares names as SQLite's NOCASE does: ASCII letters only.
std::string folded(std::string_view name)
{
    std::string out(name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

bool sameName(std::string_view a, std::string_view b) { return folded(a) == folded(b); }

template <typename List, typename NameOf> auto findNamed(List& list, std::string_view name, NameOf nameOf)
{
    return std::find_if(list.begin(), list.end(), [&](const auto& item) { return sameName(nameOf(item), name); });
}

const std::string& keyName(const std::unique_ptr<FakeSettingsHive::Key>& k) { return k->name; }
const std::string& valueName(const SettingsValue& v) { return v.name; }
} // namespace

FakeSettingsHive::FakeSettingsHive()
    : m_root(std::make_unique<Key>())
{
}

FakeSettingsHive::~FakeSettingsHive() = default;

SettingsStatus FakeSettingsHive::find(std::string_view keyPath, bool create, Key** key)
{
    std::vector<std::string_view> parts;
    if (!SplitSettingsPath(keyPath, parts))
        return SettingsStatus::InvalidArgument;
    Key* at = m_root.get();
    for (std::string_view part : parts) {
        auto it = findNamed(at->subkeys, part, keyName);
        if (it != at->subkeys.end()) {
            at = it->get();
            continue;
        }
        if (!create)
            return SettingsStatus::NotFound;
        at->subkeys.push_back(std::make_unique<Key>());
        at = at->subkeys.back().get();
        at->name = std::string(part);
    }
    *key = at;
    return SettingsStatus::Ok;
}

SettingsStatus FakeSettingsHive::CreateKey(std::string_view keyPath)
{
    Key* key;
    return find(keyPath, true, &key);
}

SettingsStatus FakeSettingsHive::DeleteKey(std::string_view keyPath)
{
    std::vector<std::string_view> parts;
    if (!SplitSettingsPath(keyPath, parts) || parts.empty())
        return SettingsStatus::InvalidArgument; // the root key cannot be deleted
    Key* parent = m_root.get();
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        auto it = findNamed(parent->subkeys, parts[i], keyName);
        if (it == parent->subkeys.end())
            return SettingsStatus::NotFound;
        parent = it->get();
    }
    auto it = findNamed(parent->subkeys, parts.back(), keyName);
    if (it == parent->subkeys.end())
        return SettingsStatus::NotFound;
    if (!(*it)->subkeys.empty())
        return SettingsStatus::HasSubkeys;
    parent->subkeys.erase(it);
    return SettingsStatus::Ok;
}

SettingsStatus FakeSettingsHive::findValue(std::string_view keyPath, std::string_view name, Key** key, size_t* index)
{
    if (SettingsStatus s = find(keyPath, false, key); s != SettingsStatus::Ok)
        return s;
    if (!ValidSettingsName(name, kMaxValueNameLength))
        return SettingsStatus::InvalidArgument;
    auto it = findNamed((*key)->values, name, valueName);
    if (it == (*key)->values.end())
        return SettingsStatus::NotFound;
    *index = static_cast<size_t>(it - (*key)->values.begin());
    return SettingsStatus::Ok;
}

SettingsStatus FakeSettingsHive::QueryValue(std::string_view keyPath, std::string_view name, ValueType* type,
                                            std::string* data)
{
    Key* key;
    size_t index;
    if (SettingsStatus s = findValue(keyPath, name, &key, &index); s != SettingsStatus::Ok)
        return s;
    if (type)
        *type = key->values[index].type;
    if (data)
        *data = key->values[index].data;
    return SettingsStatus::Ok;
}

SettingsStatus FakeSettingsHive::SetValue(std::string_view keyPath, std::string_view name, ValueType type,
                                          std::string_view data)
{
    Key* key;
    if (SettingsStatus s = find(keyPath, true, &key); s != SettingsStatus::Ok)
        return s;
    if (!ValidSettingsName(name, kMaxValueNameLength) || data.size() > kMaxValueSize)
        return SettingsStatus::InvalidArgument;
    auto it = findNamed(key->values, name, valueName);
    if (it == key->values.end()) {
        key->values.push_back({std::string(name), type, std::string(data)});
    } else {
        // A replaced value keeps its place and its first spelling.
        it->type = type;
        it->data = std::string(data);
    }
    return SettingsStatus::Ok;
}

SettingsStatus FakeSettingsHive::DeleteValue(std::string_view keyPath, std::string_view name)
{
    Key* key;
    size_t index;
    if (SettingsStatus s = findValue(keyPath, name, &key, &index); s != SettingsStatus::Ok)
        return s;
    key->values.erase(key->values.begin() + static_cast<std::ptrdiff_t>(index));
    return SettingsStatus::Ok;
}

SettingsStatus FakeSettingsHive::EnumValue(std::string_view keyPath, uint32_t index, SettingsValue* value)
{
    Key* key;
    if (SettingsStatus s = find(keyPath, false, &key); s != SettingsStatus::Ok)
        return s;
    if (index >= key->values.size())
        return SettingsStatus::NotFound;
    if (value)
        *value = key->values[index];
    return SettingsStatus::Ok;
}

SettingsStatus FakeSettingsHive::EnumSubkey(std::string_view keyPath, uint32_t index, std::string* name)
{
    Key* key;
    if (SettingsStatus s = find(keyPath, false, &key); s != SettingsStatus::Ok)
        return s;
    if (index >= key->subkeys.size())
        return SettingsStatus::NotFound;
    // Name order without regard to case; equal names keep their creation order.
    std::vector<const Key*> sorted;
    for (const auto& k : key->subkeys)
        sorted.push_back(k.get());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Key* a, const Key* b) { return folded(a->name) < folded(b->name); });
    if (name)
        *name = sorted[index]->name;
    return SettingsStatus::Ok;
}

// ---- programs ----

bool FakeProgramLauncher::SpawnDetached(const std::string& path, const std::vector<std::string>& args)
{
    std::vector<std::string> call{path};
    call.insert(call.end(), args.begin(), args.end());
    spawned.push_back(std::move(call));
    return spawnResult;
}

int FakeProgramLauncher::RunProgram(const std::vector<std::string>& argv, std::string* output, int)
{
    ran.push_back(argv);
    if (output)
        *output = runOutput;
    return runResult;
}

int FakeProgramLauncher::RunShellCommand(const std::string& commandLine)
{
    shellCommands.push_back(commandLine);
    return shellResult;
}

bool FakeProgramLauncher::OpenWithDesktop(const std::string& target)
{
    opened.push_back(target);
    return openResult;
}

} // namespace platform::fake
