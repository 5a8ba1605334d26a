// The installed zpf run as a user runs it: from a temporary program directory on a
// free loopback port, driven by curl and raw sockets, stopped by signals, installed
// into a temporary unit directory; and the README's administration example against a
// running tray proxy: a category blocked, a phrase-list URL added and a schedule set with
// zpfctl, each obeyed by the proxy zpfctl restarts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <sys/socket.h>
#include <sys/un.h>

#include "ZpfProcess.h"
#include "support/RunProgram.h"
#include "platform/InstanceLock.h"
#include "platform/NamedEvent.h"
#include "platform/ProcessControl.h"

namespace {
using Clock = std::chrono::steady_clock;
using zpftest::InstalledZpf;
// Tray mode without a desktop: the window exists, nothing is drawn.
const std::map<std::string, std::string> kOffscreen = {{"QT_QPA_PLATFORM", "offscreen"}};

class ZpfProcessTest : public ::testing::Test {
protected:
    std::string runDir() const { return platform::RuntimeDirectory(zpf.path()); }

    /// A stand-in for systemctl that logs its arguments and answers is-active with
    /// the lines of "states", one per call, then "inactive".
    std::map<std::string, std::string> fakeServiceManager()
    {
        std::filesystem::create_directories(zpf.file("units"));
        const std::string script = zpf.file("fake/systemctl");
        zpf.writeBytes("fake/systemctl", "#!/bin/sh\n"
                                         "d=$(dirname \"$0\")\n"
                                         "echo \"$*\" >> \"$d/systemctl.log\"\n"
                                         "if [ \"$1\" = is-active ]; then\n"
                                         "  s=$(head -n 1 \"$d/states\" 2>/dev/null); [ -n \"$s\" ] || s=inactive\n"
                                         "  tail -n +2 \"$d/states\" > \"$d/states.next\" 2>/dev/null\n"
                                         "  mv \"$d/states.next\" \"$d/states\"\n"
                                         "  echo \"$s\"\n"
                                         "fi\n");
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        return {{"ZPF_UNIT_DIR", zpf.file("units")}, {"ZPF_SYSTEMCTL", script}};
    }

    /// False in a build without the tray window module.
    bool trayModuleBuilt() const { return std::filesystem::exists(zpf.file("libzpftray.so")); }

    /// The files a process has mapped (its libraries among them).
    static std::string mapsOf(pid_t pid)
    {
        std::ifstream in("/proc/" + std::to_string(pid) + "/maps");
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    InstalledZpf zpf;
};

TEST_F(ZpfProcessTest, ForegroundRunServesBadRequestsAndStopsOnInterruptWhileSessionsHang)
{
    pid_t pid = zpf.start({});
    ASSERT_TRUE(zpf.waitListening(pid)) << zpf.readBytes(zpf.lastErr);

    // A proxy request reaches the relay, which cannot use the address: page 404.
    zpftest::Fetch f = zpf.curl({"http://300.0.0.1/"}, 10);
    EXPECT_EQ(f.exit, 0);
    EXPECT_EQ(f.code, "404");
    // A request that is not in proxy form gets page 400.
    f = zpf.curl({"--request-target", "/index.html", "http://host.example/"}, 10);
    EXPECT_EQ(f.exit, 0);
    EXPECT_EQ(f.code, "400");
    const std::string page = zpf.readBytes("zpf400.html");
    ASSERT_FALSE(page.empty());
    EXPECT_EQ(f.body, page);

    const std::string head = "HTTP/1.1 400 Bad Request\nConnection: Close\nContent-Type: text/html\nContent-Length: " +
                             std::to_string(page.size()) + "\n\n";
    const std::vector<std::string> malformed = {
        "GET http://host.example HTTP/1.1\r\n\r\n",
        "GET http://h:0x/ HTTP/1.1\r\n\r\n",
        "GET http://h:080/ HTTP/1.1\r\n\r\n",
        "GET http://h:99999/ HTTP/1.1\r\n\r\n",
        "GET http://h:-1/ HTTP/1.1\r\n\r\n",
        "GET http://h:abc/ HTTP/1.1\r\n\r\n",
        std::string("\x16\x03\x01\0\x05\r\n\r\n", 9),
        "NONSENSE\n\n",
        "GET http://h/" + std::string(1000000, 'a') + "\r\n\r\n",
    };
    for (const auto& r : malformed)
        EXPECT_EQ(zpf.raw(r), head + page) << r.substr(0, 40);
    // A client that sends half a request and closes its side also gets the page.
    {
        auto s = platform::ConnectTcp("127.0.0.1", zpf.port, 2000);
        platform::SendAll(s, "GET http://h/", 13, 1000);
        platform::ShutdownSocket(s, platform::ShutdownHow::Send);
        EXPECT_EQ(zpftest::ReadUntilClose(s), head + page);
        platform::CloseSocket(s);
    }
    // Connect and close at once, many times; then sessions that hang do not hold up the stop.
    for (int i = 0; i < 20; ++i)
        platform::CloseSocket(platform::ConnectTcp("127.0.0.1", zpf.port, 2000));
    std::vector<platform::SocketHandle> hanging;
    for (int i = 0; i < 8; ++i) {
        hanging.push_back(platform::ConnectTcp("127.0.0.1", zpf.port, 2000));
        if (i % 2 == 0)
            platform::SendAll(hanging.back(), "GET http://h/ HTTP/1.1\r\nHost:", 29, 1000);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    auto begin = Clock::now();
    ::kill(pid, SIGINT);
    EXPECT_EQ(zpf.wait(pid, 5000), 0);
    EXPECT_LT(zpftest::MsSince(begin), 1000);
    EXPECT_NE(zpf.readBytes(zpf.lastOut).find("Daemon Initialize Start\n"), std::string::npos);
    for (auto s : hanging) {
        EXPECT_EQ(zpftest::ReadUntilClose(s, 2000), ""); // closed without an answer
        platform::CloseSocket(s);
    }
}

TEST_F(ZpfProcessTest, StartErrorsAreShownAndTheProxyEnds)
{
    {
        auto holder = platform::CreateTcpSocket();
        ASSERT_TRUE(platform::BindIpv4(holder, platform::kLoopbackAddress, zpf.port));
        ASSERT_TRUE(platform::Listen(holder, 1));
        EXPECT_EQ(zpf.run({}), 1);
        EXPECT_EQ(zpf.readBytes(zpf.lastErr), "Port Bind failed.\n");
        // With "keep" the bind failure is not shown.
        EXPECT_EQ(zpf.run({"keep"}), 1);
        EXPECT_EQ(zpf.readBytes(zpf.lastErr), "");
        // Tray mode shows the error in a message box, which the stop signal also ends.
        if (trayModuleBuilt()) {
            pid_t tray = zpf.start({"tray"}, kOffscreen);
            EXPECT_TRUE(zpf.waitForText(zpf.lastErr, "Port Bind failed.\n"));
            ::kill(tray, SIGTERM);
            EXPECT_EQ(zpf.wait(tray, 5000), 1);
        }
        platform::CloseSocket(holder);
    }
    std::filesystem::remove(zpf.file("zpf.cnf"));
    EXPECT_EQ(zpf.run({}), 1);
    EXPECT_EQ(zpf.readBytes(zpf.lastErr), "Configration File Read failed.\n");
    if (trayModuleBuilt()) {
        pid_t tray = zpf.start({"tray"}, kOffscreen);
        EXPECT_TRUE(zpf.waitForText(zpf.lastErr, "Configration File Read failed.\n"));
        ::kill(tray, SIGINT);
        EXPECT_EQ(zpf.wait(tray, 5000), 1);
    }
}

TEST_F(ZpfProcessTest, ServiceModeReportsItsStatesToTheServiceManager)
{
    const std::string path = zpf.file("notify");
    int s = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    auto next = [&] {
        if (platform::WaitReadable(s, 10000, nullptr) != platform::WaitStatus::Ready)
            return std::string("<none>");
        char buf[512];
        ssize_t n = ::recv(s, buf, sizeof buf, 0);
        return std::string(buf, n > 0 ? static_cast<size_t>(n) : 0);
    };
    pid_t pid = zpf.start({}, {{"NOTIFY_SOCKET", path}});
    EXPECT_EQ(next(), "STATUS=Start pending (1)\nEXTEND_TIMEOUT_USEC=3000000");
    EXPECT_EQ(next(), "STATUS=Start pending (2)\nEXTEND_TIMEOUT_USEC=3000000");
    EXPECT_EQ(next(), "STATUS=Start pending (3)\nEXTEND_TIMEOUT_USEC=3000000");
    EXPECT_EQ(next(), "READY=1\nSTATUS=Running");
    ASSERT_TRUE(zpf.waitListening(pid));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(next(), "STOPPING=1\nSTATUS=Stop pending (4)");
    EXPECT_EQ(next(), "STATUS=Stopped");
    EXPECT_EQ(zpf.wait(pid, 5000), 0);
    // Under the service manager nobody reads the status lines.
    EXPECT_EQ(zpf.readBytes(zpf.lastOut), "");
    EXPECT_NE(zpf.readBytes("status.log").find(", Filtering Start\r\n"), std::string::npos);
    ::close(s);
}

TEST_F(ZpfProcessTest, KeeperServiceStartsAndEveryStopIsAnnounced)
{
    auto env = fakeServiceManager();
    zpf.setSetting("CheckDuration", "30");
    zpf.setSetting("RebootAt", "2:05");
    platform::NamedEvent keeperStop, dead;
    ASSERT_TRUE(keeperStop.Create(runDir(), "__zpfkeeperStop", true, false));
    ASSERT_TRUE(dead.Create(runDir(), "__zpfDead", false, false));

    pid_t pid = zpf.start({"debug"}, env);
    ASSERT_TRUE(zpf.waitListening(pid));
    EXPECT_EQ(zpf.readBytes("units/filtering-keeper.service.args"), "ZPF_SERVICE_ARGS=\"-d30 -t2:05\"\n");
    EXPECT_NE(zpf.readBytes("fake/systemctl.log").find("start --no-block filtering-keeper.service\n"),
              std::string::npos);
    EXPECT_FALSE(keeperStop.Test());
    ::kill(pid, SIGINT);
    EXPECT_EQ(zpf.wait(pid, 5000), 0);
    EXPECT_TRUE(keeperStop.Test());
    EXPECT_TRUE(dead.Wait(1000));
    // The debug word writes the service log.
    EXPECT_NE(zpf.readBytes("zpfSrvcLog.txt").find("Set eventStop.\r\nClose daemonSocket.\r\n"), std::string::npos);
}

TEST_F(ZpfProcessTest, InstallAndRemoveInATemporaryUnitDirectory)
{
    auto env = fakeServiceManager();
    EXPECT_EQ(zpf.run({"install"}, env), 0);
    EXPECT_EQ(zpf.readBytes(zpf.lastOut), "Filtering Service installed.\nFiltering Keeper installed.\n");
    const std::string unit = zpf.readBytes("units/filtering-service.service");
    EXPECT_NE(unit.find("ExecStart=\"" + zpf.file("zpf") + "\"\n"), std::string::npos);
    EXPECT_NE(unit.find("Type=notify\n"), std::string::npos);
    EXPECT_EQ(zpf.run({"-INSTALL", "remove"}, env), 1);
    EXPECT_EQ(zpf.readBytes(zpf.lastOut), "CreateService failed - File exists (0x11)\n");

    // A running service is stopped first, with a dot per second while it stops.
    zpf.writeBytes("fake/states", "active\ndeactivating\ninactive\n");
    EXPECT_EQ(zpf.run({"/remove"}, env), 0);
    EXPECT_EQ(zpf.readBytes(zpf.lastOut),
              "Stopping Filtering Service..\nFiltering Service stopped.\nFiltering Service removed.\n"
              "Filtering Keeper removed.\n");
    EXPECT_FALSE(std::filesystem::exists(zpf.file("units/filtering-service.service")));
    EXPECT_EQ(zpf.run({"remove"}, env), 1);
    EXPECT_EQ(zpf.readBytes(zpf.lastOut), "OpenService failed - No such file or directory (0x2)\n");

    env["ZPF_UNIT_DIR"] = zpf.file("no-such-dir");
    EXPECT_EQ(zpf.run({"install"}, env), 1);
    EXPECT_EQ(zpf.readBytes(zpf.lastOut), "OpenSCManager failed - No such file or directory (0x2)\n");
}

TEST_F(ZpfProcessTest, TrayModeRunsOnceAndEndsOnlyOnAnAskedClose)
{
    if (!trayModuleBuilt())
        GTEST_SKIP() << "built without the tray window";
    pid_t pid = zpf.start({"tray", "debug"}, kOffscreen);
    ASSERT_TRUE(zpf.waitListening(pid)) << zpf.readBytes(zpf.lastErr);
    EXPECT_TRUE(zpf.waitForText("zpf.log", "Daemon Initialize Start"));
    // The window lives in the module; the proxy loaded it.
    const std::string maps = mapsOf(pid);
    EXPECT_NE(maps.find("libzpftray.so"), std::string::npos);
    EXPECT_NE(maps.find("libQt6Widgets"), std::string::npos);

    platform::NamedEvent keeperStop;
    ASSERT_TRUE(keeperStop.Create(runDir(), "__zpfkeeperStop", true, false));
    EXPECT_EQ(zpf.run({"-tray"}, kOffscreen), 1); // a second instance ends at once
    EXPECT_FALSE(keeperStop.Test());

    // A close without the exit request only hides the window.
    EXPECT_TRUE(platform::SendControlMessage(runDir(), "zpfWndClass", platform::kCloseMessage));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), 0);
    auto s = platform::ConnectTcp("127.0.0.1", zpf.port, 2000);
    EXPECT_NE(s, platform::kInvalidSocket);
    platform::CloseSocket(s);

    {
        platform::NamedEvent queryExit;
        ASSERT_TRUE(queryExit.Open(runDir(), "__zpfQueryExit"));
        queryExit.Signal();
        EXPECT_TRUE(platform::SendControlMessage(runDir(), "zpfWndClass", platform::kCloseMessage));
        EXPECT_EQ(zpf.wait(pid, 5000), 0);
    }
    EXPECT_TRUE(keeperStop.Test());
    EXPECT_FALSE(platform::InstanceExists(runDir(), "zpfWndClass"));
    EXPECT_FALSE(std::filesystem::exists(runDir() + "zpfWndClass.sock"));
    platform::NamedEvent gone;
    EXPECT_FALSE(gone.Open(runDir(), "__zpfQueryExit"));
}

TEST_F(ZpfProcessTest, TrayModeEndsCleanlyOnSignalsAndNeedsADisplay)
{
    if (!trayModuleBuilt())
        GTEST_SKIP() << "built without the tray window";
    // A keeper that notes how it was started.
    zpf.writeBytes("zpfkeeper", "#!/bin/sh\necho \"$*\" > \"$(dirname \"$0\")/keeper-args.txt\"\n");
    std::filesystem::permissions(zpf.file("zpfkeeper"), std::filesystem::perms::owner_all);
    for (const auto& [signal, args, keeperArgs] :
         {std::tuple{SIGTERM, std::vector<std::string>{"tray"}, "-tray\n"},
          std::tuple{SIGINT, std::vector<std::string>{"tray", "noicon"}, "-tray -noicon\n"}}) {
        std::filesystem::remove(zpf.file("keeper-args.txt"));
        platform::NamedEvent dead;
        ASSERT_TRUE(dead.Create(runDir(), "__zpfDead", false, false));
        pid_t pid = zpf.start(args, kOffscreen);
        ASSERT_TRUE(zpf.waitListening(pid)) << zpf.readBytes(zpf.lastErr);
        EXPECT_TRUE(zpf.waitForText("keeper-args.txt", keeperArgs)) << zpf.readBytes("keeper-args.txt");
        ::kill(pid, signal);
        EXPECT_EQ(zpf.wait(pid, 5000), 0) << signal;
        EXPECT_TRUE(dead.Wait(1000));
        dead.Close();
        EXPECT_FALSE(platform::InstanceExists(runDir(), "zpfWndClass"));
        EXPECT_FALSE(std::filesystem::exists(runDir() + "zpfWndClass.sock"));
        for (const char* name : {"__zpfDead", "__zpfQueryExit"}) {
            platform::NamedEvent left;
            EXPECT_FALSE(left.Open(runDir(), name)) << name;
        }
    }

    // Without a display the toolkit is not even loaded: a plain message and status 1.
    EXPECT_EQ(zpf.run({"tray"}, {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}), 1);
    EXPECT_NE(zpf.readBytes(zpf.lastErr).find("zpf tray: no display"), std::string::npos);
    EXPECT_FALSE(platform::InstanceExists(runDir(), "zpfWndClass"));
    // A display that cannot be opened gives a plain message too, not an abort.
    EXPECT_EQ(zpf.run({"tray"}, {{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":4711"}}), 1);
    EXPECT_NE(zpf.readBytes(zpf.lastErr).find("zpf tray: the window cannot be shown"), std::string::npos);
}

TEST_F(ZpfProcessTest, ServiceModeMapsNoWindowToolkit)
{
    pid_t pid = zpf.start({});
    ASSERT_TRUE(zpf.waitListening(pid));
    const std::string maps = mapsOf(pid);
    EXPECT_NE(maps.find("libravlin.so"), std::string::npos); // the maps were read
    EXPECT_EQ(maps.find("libQt6"), std::string::npos);
    EXPECT_EQ(maps.find("libzpftray"), std::string::npos);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(zpf.wait(pid, 5000), 0);
}

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
