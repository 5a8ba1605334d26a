// Service units in a temporary unit directory, error texts, the notify protocol on
// a real datagram socket, and helper programs run with a time limit.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/ProcessControl.h"
#include "platform/ServiceControl.h"
#include "support/TempDir.h"

namespace {

using zpftest::ScopedEnv;

TEST(ServiceControlTest, CreateOpenDeleteInATemporaryUnitDirectory)
{
    zpftest::TempDir dir;
    ScopedEnv unitDir("ZPF_UNIT_DIR", dir.path());
    platform::ServiceManager m;
    ASSERT_EQ(platform::OpenServiceManager(m), 0);
    EXPECT_TRUE(m.systemctl.empty() || std::getenv("ZPF_SYSTEMCTL"));
    EXPECT_EQ(platform::OpenServiceUnit(m, "Filtering Service"), ENOENT);
    ASSERT_EQ(platform::CreateServiceUnit(m, "Filtering Service", "/opt/my zpf/zpf"), 0);
    EXPECT_EQ(platform::CreateServiceUnit(m, "Filtering Service", "/opt/zpf/zpf"), EEXIST);
    std::string unit = dir.readBytes("filtering-service.service");
    EXPECT_NE(unit.find("Type=notify\n"), std::string::npos);
    EXPECT_NE(unit.find("ExecStart=\"/opt/my zpf/zpf\"\n"), std::string::npos);
    EXPECT_EQ(platform::OpenServiceUnit(m, "Filtering Service"), 0);
    EXPECT_EQ(platform::QueryServiceState(m, "Filtering Service"), platform::ServiceState::Stopped);
    EXPECT_EQ(platform::StopServiceUnit(m, "Filtering Service"), ESRCH);
    EXPECT_EQ(platform::DeleteServiceUnit(m, "Filtering Service"), 0);
    EXPECT_EQ(platform::DeleteServiceUnit(m, "Filtering Service"), ENOENT);

    // Arguments for a unit go into its environment file.
    (void)platform::StartServiceUnit(m, "Filtering Keeper", {"-d30", "-t2:05", "-a"});
    EXPECT_EQ(dir.readBytes("filtering-keeper.service.args"), "ZPF_SERVICE_ARGS=\"-d30 -t2:05 -a\"\n");
}

TEST(ServiceControlTest, MissingUnitDirectoryCannotBeOpened)
{
    ScopedEnv unitDir("ZPF_UNIT_DIR", "/nonexistent/zpf-units");
    platform::ServiceManager m;
    EXPECT_EQ(platform::OpenServiceManager(m), ENOENT);
}

TEST(ServiceControlTest, NotifyReachesTheSocketNamedInTheEnvironment)
{
    {
        ScopedEnv none("NOTIFY_SOCKET", "");
        EXPECT_FALSE(platform::UnderServiceManager());
        EXPECT_TRUE(platform::NotifyServiceManager("READY=1"));
    }
    zpftest::TempDir dir;
    const std::string path = dir.file("notify");
    int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ScopedEnv notify("NOTIFY_SOCKET", path);
    EXPECT_TRUE(platform::UnderServiceManager());
    EXPECT_TRUE(platform::NotifyServiceManager("READY=1\nSTATUS=Running"));
    char buf[128] = {};
    ssize_t n = ::recv(s, buf, sizeof buf - 1, MSG_DONTWAIT);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<size_t>(n) : 0), "READY=1\nSTATUS=Running");
    ::close(s);
}

TEST(ServiceControlTest, HelperProgramsRunWithATimeLimit)
{
    std::string out;
    EXPECT_EQ(platform::RunProgram({"sh", "-c", "echo active; exit 3"}, &out, 5000), 3);
    EXPECT_EQ(out, "active\n");
    EXPECT_EQ(platform::RunProgram({"sleep", "5"}, nullptr, 100), -1);
    EXPECT_EQ(platform::RunProgram({"/nonexistent/program"}, nullptr, 1000), -1);
    EXPECT_EQ(platform::RunShellCommand("exit 7"), 7);
}

} // namespace
