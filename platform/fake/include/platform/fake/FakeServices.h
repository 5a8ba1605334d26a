#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/NamedObjects.h"
#include "platform/ProcessControl.h"
#include "platform/ServiceControl.h"
#include "platform/SettingsStore.h"

/// In-memory doubles of the OS services for tests: no systemd, no files, no processes.
/// Each is used from one thread; their public members are there for tests to look at
/// and to arrange.
namespace platform::fake {

/// Services kept in a map; a started service is Running at once, a stopped one Stopped.
class FakeServiceController final : public ServiceController {
public:
    struct Unit {
        std::string execPath;
        ServiceState state = ServiceState::Stopped;
        /// The arguments of the last start.
        std::vector<std::string> args;
        int starts = 0;
    };
    /// Installed services by unit name (ServiceUnitName), as the real manager names them.
    std::map<std::string, Unit> units;

    int Install(const std::string& serviceName, const std::string& execPath) override;
    int Find(const std::string& serviceName) override;
    ServiceState Query(const std::string& serviceName) override;
    int Start(const std::string& serviceName, const std::vector<std::string>& args) override;
    int Stop(const std::string& serviceName) override;
    int Remove(const std::string& serviceName) override;
};

/// Events and instances in memory. Nothing blocks: Wait answers at once with the
/// event's state, so a test signals before the code under test waits. Messages reach
/// the owner's handler at once, on the sender's thread.
class FakeNamedObjects final : public NamedObjects {
public:
    FakeNamedObjects();
    ~FakeNamedObjects() override;

    std::unique_ptr<SharedEvent> CreateNamedEvent(const std::string& name, bool manualReset,
                                                  bool initialState) override;
    std::unique_ptr<SharedEvent> OpenNamedEvent(const std::string& name) override;
    std::unique_ptr<InstanceOwnership> AcquireInstance(const std::string& className,
                                                       MessageHandler onMessage = {}) override;
    bool InstanceExists(const std::string& className) override;
    bool SendControlMessage(const std::string& className, const std::string& message) override;

    /// Whether the event exists and is signalled, without changing it.
    bool IsSignalled(const std::string& name) const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

/// A hive as a tree in memory, with the store's naming, ordering and deletion rules.
class FakeSettingsHive final : public SettingsHive {
public:
    FakeSettingsHive();
    ~FakeSettingsHive() override;

    SettingsStatus CreateKey(std::string_view keyPath) override;
    SettingsStatus DeleteKey(std::string_view keyPath) override;
    SettingsStatus QueryValue(std::string_view keyPath, std::string_view name, ValueType* type,
                              std::string* data) override;
    SettingsStatus SetValue(std::string_view keyPath, std::string_view name, ValueType type,
                            std::string_view data) override;
    SettingsStatus DeleteValue(std::string_view keyPath, std::string_view name) override;
    SettingsStatus EnumValue(std::string_view keyPath, uint32_t index, SettingsValue* value) override;
    SettingsStatus EnumSubkey(std::string_view keyPath, uint32_t index, std::string* name) override;

    struct Key;

private:
    SettingsStatus find(std::string_view keyPath, bool create, Key** key);
    // An existing value of an existing key: its key and its place among the key's values.
    SettingsStatus findValue(std::string_view keyPath, std::string_view name, Key** key, size_t* index);
    std::unique_ptr<Key> m_root;
};

/// Records what would have been started and answers with the results set here.
class FakeProgramLauncher final : public ProgramLauncher {
public:
    /// Every start: the path or argv[0] first, then the arguments.
    std::vector<std::vector<std::string>> spawned;
    std::vector<std::vector<std::string>> ran;
    std::vector<std::string> shellCommands;
    /// Every document or address handed to the desktop.
    std::vector<std::string> opened;
    bool openResult = true;

    bool spawnResult = true;
    int runResult = 0;
    std::string runOutput;
    int shellResult = 0;

    bool SpawnDetached(const std::string& path, const std::vector<std::string>& args) override;
    int RunProgram(const std::vector<std::string>& argv, std::string* output, int timeoutMs) override;
    int RunShellCommand(const std::string& commandLine) override;
    bool OpenWithDesktop(const std::string& target) override;
};

} // namespace platform::fake
