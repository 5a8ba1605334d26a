// The README's administration example against a running tray proxy: a category
// blocked, a phrase-list URL added and a schedule set with zpfctl, each obeyed by the
// proxy zpfctl restarts.
#include <gtest/gtest.h>

#include "integration/ZpfProcess.h"
#include "support/RunProgram.h"

namespace {

using zpftest::InstalledZpf;

class ZpfctlAdminTest : public ::testing::Test {
protected:
    void TearDown() override { zpf.endTray(); }

    // zpfctl on the installed directory; no service unit there, so the tray proxy is restarted.
    zpftest::ProgramResult ctl(const std::string& args)
    {
        return zpftest::RunProgram("env LC_ALL=C QT_QPA_PLATFORM=offscreen ZPF_UNIT_DIR='" + zpf.path() + "' '" +
                                   zpf.file("zpfctl") + "' " + args);
    }

    InstalledZpf zpf;
};

TEST_F(ZpfctlAdminTest, RunningProxyObeysEachChangeAfterRestart)
{
    if (zpftest::FindProgram("curl").empty())
        GTEST_SKIP() << "curl is not installed (tools/deps.sh installs it)";
    zpf.setSetting("BlockLog", "1");
    const pid_t first = zpf.start({"-tray", "-noicon"}, {{"QT_QPA_PLATFORM", "offscreen"}});
    ASSERT_TRUE(zpf.waitListening(first)) << zpf.readBytes(zpf.lastErr);
    ASSERT_FALSE(zpf.blockLogged("http://chat.example/")) << "the sample leaves chat alone";

    struct Step {
        const char* command;
        std::function<bool()> obeyed;
    };
    const Step steps[] = {
        {"category on chat.fdb --restart", [&] { return zpf.blockLogged("http://chat.example/"); }},
        {"list add phrase casino.example/ --restart", [&] { return zpf.blockLogged("http://casino.example/"); }},
        {"schedule set 'on;' 'cut;mon-sun;' --restart",
         [&] { return zpf.curl({"http://open.example/"}, 5).code == "403"; }},
    };
    for (const Step& step : steps) {
        zpftest::ProgramResult r = ctl(step.command);
        ASSERT_EQ(r.status, 0) << step.command << "\n" << r.err;
        EXPECT_NE(r.out.find("The proxy was restarted."), std::string::npos) << r.out;
        ASSERT_TRUE(zpf.waitAnyListening()) << step.command;
        EXPECT_TRUE(zpftest::WaitUntil(step.obeyed, 10000)) << step.command;
    }
    (void)zpf.wait(first, 10000);
}

} // namespace
