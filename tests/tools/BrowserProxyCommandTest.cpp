// zpfctl browser-proxy in a desktop session whose settings live in a temporary key file.
#include <gtest/gtest.h>

#include <string>

#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace {

class BrowserProxyCommandTest : public ::testing::Test {
protected:
    zpftest::TempDir dir;
    std::string env()
    {
        return "GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME='" + dir.file("config") + "' HOME='" + dir.file("home") +
               "' ZPF_MACHINE_HIVE='" + dir.file("machine.db") + "' ZPF_USER_HIVE='" + dir.file("user.db") + "' ";
    }
    zpftest::ProgramResult zpfctl(const std::string& args)
    {
        return zpftest::RunProgram(env() + "'" + ZPF_BIN_DIR + "/zpfctl' --dir '" + dir.path() + "' browser-proxy " +
                                   args);
    }
    std::string gsettings(const std::string& args) { return zpftest::RunProgram(env() + "gsettings " + args).out; }
};

} // namespace

TEST_F(BrowserProxyCommandTest, SetPointsTheDesktopAtTheProxyAndRestoreUndoesIt)
{
    gsettings("set org.gnome.system.proxy.http host before.example");
    ASSERT_EQ(zpfctl("backup").status, 0);
    auto set = zpfctl("set 127.0.0.1:3036");
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(gsettings("get org.gnome.system.proxy mode"), "'manual'\n");
    EXPECT_EQ(gsettings("get org.gnome.system.proxy.http host"), "'127.0.0.1'\n");
    EXPECT_EQ(gsettings("get org.gnome.system.proxy.https port"), "3036\n");
    EXPECT_NE(dir.readBytes("config/zpf/proxy.sh").find("export http_proxy='http://127.0.0.1:3036/'"),
              std::string::npos);
    auto show = zpfctl("show");
    EXPECT_NE(show.out.find("browser proxy: on\nserver: 127.0.0.1:3036\n"), std::string::npos) << show.out;

    ASSERT_EQ(zpfctl("restore").status, 0);
    EXPECT_EQ(gsettings("get org.gnome.system.proxy mode"), "'none'\n");
    EXPECT_EQ(gsettings("get org.gnome.system.proxy.http host"), "'before.example'\n");
    EXPECT_FALSE(platform::PathExists(dir.file("config/zpf/proxy.sh")));

    ASSERT_EQ(zpfctl("off").status, 0);
    EXPECT_EQ(gsettings("get org.gnome.system.proxy mode"), "'none'\n");
    for (const char* bad : {"", "set nohost", "set host:0", "set 'a;b:1'", "set a:1 extra", "frob", "restore now"})
        EXPECT_EQ(zpfctl(bad).status, 2) << bad;
}
