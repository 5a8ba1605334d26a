#pragma once

#include <string>
#include <vector>

namespace platform {

/// The service manager is systemd. A service is a unit file "<name>.service" in the
/// unit directory, where <name> is the service name in lower case with blanks as
/// "-" ("Filtering Service" -> "filtering-service.service"). Functions that return
/// int give 0 on success and an error number otherwise (text: ServiceErrorText).
struct ServiceManager {
    /// Where unit files go: $ZPF_UNIT_DIR, else /etc/systemd/system.
    std::string unitDirectory;
    /// The systemctl program, or empty when there is no running systemd to tell
    /// (then units are only written and removed). $ZPF_SYSTEMCTL overrides it; with
    /// $ZPF_UNIT_DIR set and no $ZPF_SYSTEMCTL none is used.
    std::string systemctl;
};

/// The unit name of a service name.
std::string ServiceUnitName(const std::string& serviceName);

/// Opens the manager: the unit directory must exist and be writable.
[[nodiscard]] int OpenServiceManager(ServiceManager& manager);

/// Writes a notify-type unit that runs execPath without arguments, started on
/// demand and started again by systemd when it fails, then reloads systemd. EEXIST
/// when the unit is already there.
[[nodiscard]] int CreateServiceUnit(const ServiceManager& manager, const std::string& serviceName,
                                    const std::string& execPath);

/// How a unit runs its program.
struct ServiceUnitOptions {
    /// The program reports its states over the notify protocol.
    bool notify = true;
    /// The program gets the arguments of the last StartServiceUnit (its "<unit>.args").
    bool argumentsFromFile = false;
};
[[nodiscard]] int CreateServiceUnit(const ServiceManager& manager, const std::string& serviceName,
                                    const std::string& execPath, const ServiceUnitOptions& options);

/// 0 when the unit file exists.
[[nodiscard]] int OpenServiceUnit(const ServiceManager& manager, const std::string& serviceName);

enum class ServiceState { Stopped, StartPending, StopPending, Running };
/// The unit's state as systemd reports it; Stopped without systemd.
ServiceState QueryServiceState(const ServiceManager& manager, const std::string& serviceName);

/// Asks systemd to stop the unit without waiting. Fails (ESRCH) when it is not running.
[[nodiscard]] int StopServiceUnit(const ServiceManager& manager, const std::string& serviceName);

/// Removes the unit file (and its argument file) and reloads systemd.
[[nodiscard]] int DeleteServiceUnit(const ServiceManager& manager, const std::string& serviceName);

/// Starts a unit with arguments: they are written as ZPF_SERVICE_ARGS="..." to the
/// environment file "<unit>.args" beside the unit, which the unit reads.
[[nodiscard]] int StartServiceUnit(const ServiceManager& manager, const std::string& serviceName,
                                   const std::vector<std::string>& args);

/// "text (0xN)" for an error number, or empty when there is no text.
std::string ServiceErrorText(int error);

/// True when this process was started by systemd as a notify service.
bool UnderServiceManager();
/// Sends one state report ("READY=1", "STATUS=...", ...) to systemd. Returns true
/// when it was delivered, or when there is no systemd to tell.
[[nodiscard]] bool NotifyServiceManager(const std::string& state);

/// Writes an error entry to the system log under the given source name.
void WriteEventLog(const std::string& source, const std::string& text1, const std::string& text2);
/// Writes an informational entry to the system log under the given source name.
void WriteSystemLogNotice(const std::string& source, const std::string& text);

/// Install, query and control of services as the programs that drive them see it, so
/// their logic can be tested against a fake. Error numbers as above (0 on success).
class ServiceController {
public:
    virtual ~ServiceController() = default;
    /// A unit that runs execPath on demand; EEXIST when the service is already installed.
    [[nodiscard]] virtual int Install(const std::string& serviceName, const std::string& execPath) = 0;
    /// 0 when the service is installed.
    [[nodiscard]] virtual int Find(const std::string& serviceName) = 0;
    virtual ServiceState Query(const std::string& serviceName) = 0;
    [[nodiscard]] virtual int Start(const std::string& serviceName, const std::vector<std::string>& args) = 0;
    /// Asks the service to stop without waiting; ESRCH when it is not running.
    [[nodiscard]] virtual int Stop(const std::string& serviceName) = 0;
    [[nodiscard]] virtual int Remove(const std::string& serviceName) = 0;
};

/// The systemd implementation over the functions above. The manager is opened once, at
/// construction; when that failed every call returns its error (Query: Stopped).
class SystemdServiceController final : public ServiceController {
public:
    SystemdServiceController();
    /// The error of opening the manager, 0 when it is open.
    int OpenError() const { return m_openError; }

    int Install(const std::string& serviceName, const std::string& execPath) override;
    int Find(const std::string& serviceName) override;
    ServiceState Query(const std::string& serviceName) override;
    int Start(const std::string& serviceName, const std::vector<std::string>& args) override;
    int Stop(const std::string& serviceName) override;
    int Remove(const std::string& serviceName) override;

private:
    ServiceManager m_manager;
    int m_openError;
};

} // namespace platform
