// Service units in a temporary unit directory and helper programs run with a time
// limit; the notify protocol and the unit arguments are checked on the running proxy.
#include <gtest/gtest.h>

#include <cstdlib>
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
    EXPECT_NE(dir.readBytes("filtering-service.service").find("ExecStart=\"/opt/my zpf/zpf\"\n"), std::string::npos);
    EXPECT_EQ(platform::OpenServiceUnit(m, "Filtering Service"), 0);
    EXPECT_EQ(platform::QueryServiceState(m, "Filtering Service"), platform::ServiceState::Stopped);
    EXPECT_EQ(platform::StopServiceUnit(m, "Filtering Service"), ESRCH);
    EXPECT_EQ(platform::DeleteServiceUnit(m, "Filtering Service"), 0);
    EXPECT_EQ(platform::DeleteServiceUnit(m, "Filtering Service"), ENOENT);
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
