// The service manager on Linux: systemd units written to a unit directory, systemctl
// for state and control when systemd runs, the notify protocol for state reports,
// and syslog as the event log.
#include "platform/ServiceControl.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include "platform/ProcessControl.h"

namespace platform {

namespace {
constexpr int kSystemctlTimeoutMs = 30000;

std::string envOr(const char* name, const std::string& fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

std::string unitPath(const ServiceManager& m, const std::string& serviceName)
{
    std::string dir = m.unitDirectory;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir + ServiceUnitName(serviceName);
}

/// One word of an ExecStart line, quoted the way systemd reads it.
std::string quoteForUnit(const std::string& word)
{
    std::string out = "\"";
    for (char c : word) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (c == '%')
            out += '%'; // specifier escape
        if (c == '$')
            out += '$'; // variable escape
        out += c;
    }
    return out + "\"";
}

int systemctl(const ServiceManager& m, const std::vector<std::string>& args, std::string* output = nullptr)
{
    if (m.systemctl.empty())
        return 0;
    std::vector<std::string> argv{m.systemctl};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, output, kSystemctlTimeoutMs);
}

/// Writes the whole text to a new file; O_EXCL when exclusive. Returns 0 or errno.
int writeNewFile(const std::string& path, const std::string& text, bool exclusive)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC), 0644);
    if (fd < 0)
        return errno;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int e = errno;
            ::close(fd);
            ::unlink(path.c_str());
            return e;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0)
        return errno;
    return 0;
}
/// openlog keeps the ident pointer, so every entry is written under this one lock.
std::mutex& syslogLock()
{
    static std::mutex lock;
    return lock;
}
} // namespace

std::string ServiceUnitName(const std::string& serviceName)
{
    std::string out;
    for (char ch : serviceName) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c))
            out += static_cast<char>(std::tolower(c));
        else if (c == ' ' || c == '-' || c == '_')
            out += '-';
    }
    return out + ".service";
}

int OpenServiceManager(ServiceManager& manager)
{
    const char* overridden = std::getenv("ZPF_UNIT_DIR");
    const bool custom = overridden && *overridden;
    manager.unitDirectory = custom ? std::string(overridden) : std::string("/etc/systemd/system");
    struct stat st { };
    const bool systemdRuns = ::stat("/run/systemd/system", &st) == 0 && S_ISDIR(st.st_mode);
    manager.systemctl = envOr("ZPF_SYSTEMCTL", (!custom && systemdRuns) ? "systemctl" : "");
    if (::stat(manager.unitDirectory.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (::access(manager.unitDirectory.c_str(), W_OK | X_OK) != 0)
        return errno;
    return 0;
}

int CreateServiceUnit(const ServiceManager& manager, const std::string& serviceName, const std::string& execPath)
{
    return CreateServiceUnit(manager, serviceName, execPath, ServiceUnitOptions{});
}

int CreateServiceUnit(const ServiceManager& manager, const std::string& serviceName, const std::string& execPath,
                      const ServiceUnitOptions& options)
{
    const std::string path = unitPath(manager, serviceName);
    std::string unit = "[Unit]\nDescription=" + serviceName + "\n\n[Service]\n";
    unit += options.notify ? "Type=notify\n" : "Type=simple\n";
    if (options.argumentsFromFile) {
        // The file may be missing before the first start; the unquoted variable is split
        // into words.
        unit += "EnvironmentFile=-" + path + ".args\n";
        unit += "ExecStart=" + quoteForUnit(execPath) + " $ZPF_SERVICE_ARGS\n";
    } else {
        unit += "ExecStart=" + quoteForUnit(execPath) + "\n";
    }
    // A crash is restarted after a pause; a program that fails at every start is given
    // up by systemd's start limit instead of looping.
    unit += "Restart=on-failure\nRestartSec=5\n";
    // The proxy waits up to a minute for running connections.
    unit += "TimeoutStopSec=90\n\n[Install]\nWantedBy=multi-user.target\n";
    int rc = writeNewFile(path, unit, true);
    if (rc == 0)
        systemctl(manager, {"daemon-reload"});
    return rc;
}

int OpenServiceUnit(const ServiceManager& manager, const std::string& serviceName)
{
    struct stat st { };
    if (::stat(unitPath(manager, serviceName).c_str(), &st) != 0)
        return errno;
    return 0;
}

ServiceState QueryServiceState(const ServiceManager& manager, const std::string& serviceName)
{
    if (manager.systemctl.empty())
        return ServiceState::Stopped;
    std::string out;
    systemctl(manager, {"is-active", ServiceUnitName(serviceName)}, &out);
    while (!out.empty() && std::isspace(static_cast<unsigned char>(out.back())))
        out.pop_back();
    if (out == "active" || out == "reloading")
        return ServiceState::Running;
    if (out == "activating")
        return ServiceState::StartPending;
    if (out == "deactivating")
        return ServiceState::StopPending;
    return ServiceState::Stopped;
}

int StopServiceUnit(const ServiceManager& manager, const std::string& serviceName)
{
    if (QueryServiceState(manager, serviceName) == ServiceState::Stopped)
        return ESRCH;
    if (systemctl(manager, {"stop", "--no-block", ServiceUnitName(serviceName)}) != 0)
        return ECOMM;
    return 0;
}

int DeleteServiceUnit(const ServiceManager& manager, const std::string& serviceName)
{
    const std::string path = unitPath(manager, serviceName);
    if (::unlink(path.c_str()) != 0)
        return errno;
    ::unlink((path + ".args").c_str());
    systemctl(manager, {"daemon-reload"});
    return 0;
}

int StartServiceUnit(const ServiceManager& manager, const std::string& serviceName,
                     const std::vector<std::string>& args)
{
    std::string line = "ZPF_SERVICE_ARGS=\"";
    for (size_t i = 0; i < args.size(); ++i) {
        if (i)
            line += ' ';
        for (char c : args[i]) {
            if (c == '"' || c == '\\')
                line += '\\';
            line += c;
        }
    }
    line += "\"\n";
    int rc = writeNewFile(unitPath(manager, serviceName) + ".args", line, false);
    if (rc != 0)
        return rc;
    if (manager.systemctl.empty())
        return ENOENT;
    return systemctl(manager, {"start", "--no-block", ServiceUnitName(serviceName)}) == 0 ? 0 : ECOMM;
}

std::string ServiceErrorText(int error)
{
    std::string text = SystemErrorText(error);
    if (text.empty() || text.size() + 14 > 256)
        return {};
    char code[24];
    std::snprintf(code, sizeof code, " (0x%x)", static_cast<unsigned>(error));
    return text + code;
}

bool UnderServiceManager()
{
    const char* s = std::getenv("NOTIFY_SOCKET");
    return s && *s;
}

bool NotifyServiceManager(const std::string& state)
{
    const char* path = std::getenv("NOTIFY_SOCKET");
    if (!path || !*path)
        return true;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const size_t len = std::strlen(path);
    if (len >= sizeof addr.sun_path || (path[0] != '/' && path[0] != '@'))
        return false;
    std::memcpy(addr.sun_path, path, len);
    if (path[0] == '@')
        addr.sun_path[0] = '\0'; // abstract socket
    const socklen_t addrLen = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + len);
    int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    ssize_t n = ::sendto(s, state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr), addrLen);
    ::close(s);
    return n == static_cast<ssize_t>(state.size());
}

void WriteEventLog(const std::string& source, const std::string& text1, const std::string& text2)
{
    std::lock_guard<std::mutex> guard(syslogLock());
    ::openlog(source.c_str(), LOG_PID, LOG_DAEMON);
    ::syslog(LOG_ERR, "%s: %s", text1.c_str(), text2.c_str());
    ::closelog();
}

void WriteSystemLogNotice(const std::string& source, const std::string& text)
{
    std::lock_guard<std::mutex> guard(syslogLock());
    ::openlog(source.c_str(), LOG_PID, LOG_DAEMON);
    ::syslog(LOG_NOTICE, "%s", text.c_str());
    ::closelog();
}

SystemdServiceController::SystemdServiceController()
    : m_openError(OpenServiceManager(m_manager))
{
}

int SystemdServiceController::Install(const std::string& serviceName, const std::string& execPath)
{
    return m_openError ? m_openError : CreateServiceUnit(m_manager, serviceName, execPath);
}

int SystemdServiceController::Find(const std::string& serviceName)
{
    return m_openError ? m_openError : OpenServiceUnit(m_manager, serviceName);
}

ServiceState SystemdServiceController::Query(const std::string& serviceName)
{
    return m_openError ? ServiceState::Stopped : QueryServiceState(m_manager, serviceName);
}

int SystemdServiceController::Start(const std::string& serviceName, const std::vector<std::string>& args)
{
    return m_openError ? m_openError : StartServiceUnit(m_manager, serviceName, args);
}

int SystemdServiceController::Stop(const std::string& serviceName)
{
    return m_openError ? m_openError : StopServiceUnit(m_manager, serviceName);
}

int SystemdServiceController::Remove(const std::string& serviceName)
{
    return m_openError ? m_openError : DeleteServiceUnit(m_manager, serviceName);
}

} // namespace platform
