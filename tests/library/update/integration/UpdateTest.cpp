// The update against nginx serving a published database (and squid as the upstream
// proxy): what gets installed, and that a failed or killed update changes nothing.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <map>

#include "common/BaseDirectory.h"
#include "config/ConfigrationFile.h"
#include "integration/ServerFixtures.h"
#include "platform/InstanceLock.h"
#include "platform/NamedEvent.h"
#include "update/FilterUpdate.h"

namespace {

using namespace zpftest;
namespace fs = std::filesystem;

const std::string kDataDir = ZPF_TEST_DATA_DIR "/../../data/";

// nginx serving www/<tree>/zpfl/ for each tree, and locations that misbehave on purpose.
class UpdateServer : public ServerProgram {
public:
    void Start()
    {
        if (nginxHome().empty())
            return;
        publishTrees();
        launchNginx(R"(
  log_format upd '"$request" host=$http_host pragma=$http_pragma cc=$http_cache_control';
  access_log @DIR@access.log upd;
  absolute_redirect off;
  server {
    listen 127.0.0.1:@PORT@;
    root @DIR@www/;
    location = /redirect/zpfl/target.fdb { return 302 /good/zpfl/target.fdb; }
    location /redirect/ { alias @DIR@www/good/; }
    location = /loop/zpfl/VTLImage.bmp { return 302 /loop/zpfl/VTLImage.bmp; }
    location = /forbidden/zpfl/nofilup.fdb { return 403; }
    location /forbidden/ { alias @DIR@www/good/; }
    location /slow/ { alias @DIR@www/good/; limit_rate 20; }
  }
)");
    }
    std::string base(const std::string& tree) const
    {
        return "http://127.0.0.1:" + std::to_string(port) + "/" + tree + "/";
    }
    std::string served(const std::string& tree, const std::string& name) const
    {
        return m_home.readBytes("www/" + tree + "/zpfl/" + name);
    }

private:
    // The sample database with keys only the new one has, as published by zpfctl; each
    // broken tree is a copy of it with one file spoilt.
    void publishTrees()
    {
        TempDir src;
        for (const auto& entry : fs::directory_iterator(kDataDir))
            fs::copy_file(entry.path(), src.file(entry.path().filename().string()));
        auto addKey = [&](const std::string& name, const std::string& key) {
            std::string text = src.readBytes(name);
            text.insert(text.find("*** End"), key + "\n");
            src.writeBytes(name, text);
        };
        addKey("target.fdb.txt", "new-only.example/");
        addKey("adult.fdb.txt", "127.0.0.1/newly-blocked/");
        fs::create_directories(m_home.file("www"));
        publish(src, "good");
        if (!failure.empty())
            return;
        for (const char* tree : {"cut", "plain", "missing", "big"})
            fs::copy(m_home.file("www/good"), m_home.file(std::string("www/") + tree), fs::copy_options::recursive);
        const std::string target = served("good", "target.fdb");
        m_home.writeBytes("www/cut/zpfl/target.fdb", target.substr(0, target.size() / 2 / 7 * 7));
        m_home.writeBytes("www/plain/zpfl/nofildow.fdb", "x.example/\n*** End of filtering database. ***\n");
        fs::remove(m_home.file("www/missing/zpfl/chat.fdb"));
        const std::string targetText = src.readBytes("target.fdb.txt");
        std::string big;
        for (int i = 0; big.size() < 200000; ++i)
            big += "host" + std::to_string(i) + ".example/\n";
        src.writeBytes("target.fdb.txt", big);
        publish(src, "big-source");
        fs::copy_file(m_home.file("www/big-source/zpfl/target.fdb"), m_home.file("www/big/zpfl/target.fdb"),
                      fs::copy_options::overwrite_existing);
        src.writeBytes("target.fdb.txt", targetText);
        // A list without its last category (chat.fdb), which is then stale.
        const std::string list = src.readBytes("category2.cnf.txt");
        src.writeBytes("category2.cnf.txt", list.substr(0, list.find("0|D|0|108|")));
        publish(src, "shrunk");
        // A category whose key file would replace the configuration.
        src.writeBytes("category2.cnf.txt", list + "1|E|0|111|bad|zpf.cnf|http://update.invalid/zpfl/zpf.cnf\n");
        src.writeBytes("zpf.cnf.txt", "Port=1\n");
        publish(src, "reserved");
        src.writeBytes("category2.cnf.txt", list);
        // Two categories more than the installed list.
        src.writeBytes("category2.cnf.txt",
                       src.readBytes("category2.cnf.txt") +
                           "1|E|0|109|extra one|extra1.fdb|http://update.invalid/zpfl/extra1.fdb\n"
                           "0|E|0|110|extra two|extra2.fdb|http://update.invalid/zpfl/extra2.fdb\n");
        src.writeBytes("extra1.fdb.txt", "extra-one.example/\n");
        src.writeBytes("extra2.fdb.txt", "extra-two.example/\n");
        publish(src, "grown");
    }
    void publish(const TempDir& src, const std::string& tree)
    {
        const auto r = RunZpfctl(src.path(), "publish '" + src.path() + "' '" + m_home.file("www/" + tree) + "'");
        if (r.status != 0)
            failure = "publish " + tree + ": " + r.err;
    }
};

class UpdateTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        server = new UpdateServer;
        server->Start();
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        if (server->missing)
            GTEST_SKIP() << "nginx is not installed (tools/deps.sh installs it)";
        ASSERT_TRUE(server->Ready()) << server->failure << server->Log("error.log");
        SetBaseDirectory(zpf.path());
        cnf->SetDefaultPaths();
        ASSERT_FALSE(cnf->Initialize()) << cnf->errorText;
        CUpdateDateSigleton::getInstance()->SetDateTxt(zpf.file("day.txt").c_str());
        HttpLimits limits;
        limits.connectTimeoutMs = limits.receiveTimeoutMs = 2000;
        limits.transferTimeMs = 1500;
        limits.maxRedirects = 3;
        limits.maxBodyBytes = 64 * 1024;
        SetUpdateLimits(limits);
    }
    void TearDown() override
    {
        SetUpdateServer(std::string("http://") + "update.invalid/");
        cnf->Proxy.clear();
        cnf->ProxyUsername.clear();
    }
    /// The program directory's own files: its runtime folder holds only locks.
    std::map<std::string, std::string> programFiles() const
    {
        auto files = zpf.files();
        std::erase_if(files, [](const auto& f) { return f.first.find('/') != std::string::npos; });
        return files;
    }
    UpdateError update(const std::string& tree)
    {
        EXPECT_TRUE(SetUpdateServer(server->base(tree)));
        return UpdateFilter(nullptr, false, nullptr, true, nullptr);
    }

    inline static UpdateServer* server = nullptr;
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    InstalledZpf zpf;
};

TEST_F(UpdateTest, FailedUpdateChangesNothing)
{
    const struct {
        const char* tree;
        UpdateError code;
    } cases[] = {
        {"absent", kUpdateImage}, // 404 for the image
        {"loop", kUpdateImage}, // endless redirects
        {"slow", kUpdateImage}, // past the transfer time
        {"cut", kUpdateTarget}, // no end line
        {"big", kUpdateTarget}, // a body beyond the bound
        {"forbidden", kUpdateNoFilUp}, // 403
        {"plain", kUpdateNoFilDown}, // not enciphered
        {"missing", kUpdateCategoryFile}, // 404 for a category file
        {"reserved", kUpdateCategoryFile}, // a key file named zpf.cnf
    };
    const auto before = programFiles();
    for (const auto& c : cases) {
        EXPECT_EQ(update(c.tree), c.code) << c.tree;
        EXPECT_EQ(programFiles(), before) << c.tree;
        EXPECT_FALSE(platform::PathExists(zpf.file(kStagingFolder))) << c.tree;
    }
    EXPECT_EQ(cnf->categoryList.GetCategoryNum(), 8);
}

TEST_F(UpdateTest, ShowsWhyAFileWasRefusedUnlessQuiet)
{
    struct Recorder : UpdateMessageSink {
        std::vector<std::string> shown;
        void Show(const std::string& text) override { shown.push_back(text); }
    } recorder;
    SetUpdateMessageSink(&recorder);
    const struct {
        const char* tree;
        bool quiet;
        std::vector<std::string> shown;
        std::string marks;
    } cases[] = {
        {"cut", false, {kIncompleteFileText}, "++"},
        {"absent", false, {kDownloadErrorText}, "+"},
        {"cut", true, {}, ""},
    };
    for (const auto& c : cases) {
        recorder.shown.clear();
        ASSERT_TRUE(SetUpdateServer(server->base(c.tree)));
        testing::internal::CaptureStderr();
        EXPECT_NE(UpdateFilter(nullptr, false, nullptr, c.quiet, nullptr), kUpdateOk);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.marks) << c.tree;
        EXPECT_EQ(recorder.shown, c.shown) << c.tree;
    }
    SetUpdateMessageSink(nullptr);
}

TEST_F(UpdateTest, InstallsEveryFileAfterFollowingARedirectOnItsPort)
{
    EXPECT_EQ(update("redirect"), kUpdateOk);
    for (const char* name : {"VTLImage.bmp", "target.fdb", "nofilup.fdb", "category2.cnf", "adult.fdb", "chat.fdb"})
        EXPECT_EQ(zpf.readBytes(name), server->served("good", name)) << name;
    EXPECT_TRUE(
        server->WaitForLog("access.log", "\"GET /good/zpfl/target.fdb HTTP/1.0\" host=127.0.0.1 pragma=- cc=-"));
    EXPECT_EQ(zpf.readBytes("day.txt").size(), 10u);
    EXPECT_FALSE(platform::PathExists(zpf.file(kStagingFolder)));

    // A base address takes the file names after it; no-cache asks caches to step aside.
    EXPECT_EQ(UpdateFilter(nullptr, true, (server->base("good") + "zpfl/").c_str(), true, nullptr), kUpdateOk);
    EXPECT_TRUE(server->WaitForLog(
        "access.log", "\"GET /good/zpfl/nofildow.fdb HTTP/1.0\" host=127.0.0.1 pragma=no-cache cc=no-cache"));
}

TEST_F(UpdateTest, SkipsStaleCategoriesAndFinishesAnInterruptedInstall)
{
    EXPECT_EQ(update("shrunk"), kUpdateOk);
    EXPECT_TRUE(cnf->categoryList[7].stale);
    EXPECT_TRUE(server->WaitForLog("access.log", "GET /shrunk/zpfl/shopping.fdb"));
    EXPECT_EQ(server->Log("access.log").find("/shrunk/zpfl/chat.fdb"), std::string::npos);

    // Killed among the renames: the list of names was written, one file is still staged.
    zpf.writeBytes(std::string(kStagingFolder) + "/install.list", "VTLImage.bmp\ntarget.fdb\n");
    zpf.writeBytes(std::string(kStagingFolder) + "/target.fdb", "staged");
    EXPECT_EQ(update("absent"), kUpdateImage);
    EXPECT_EQ(zpf.readBytes("target.fdb"), "staged");
    EXPECT_FALSE(platform::PathExists(zpf.file(kStagingFolder)));
}

TEST_F(UpdateTest, FetchesThroughTheUpstreamProxyWithItsCredentials)
{
    SquidProxy squid;
    squid.Start();
    if (squid.missing)
        GTEST_SKIP() << "squid is not installed (tools/deps.sh installs it)";
    ASSERT_TRUE(squid.Ready()) << squid.failure;
    cnf->Proxy = "127.0.0.1";
    cnf->ProxyPort = squid.port;
    cnf->ProxyUsername = SquidProxy::kUser;
    cnf->ProxyPassword = "wrong";
    EXPECT_EQ(update("good"), kUpdateImage);
    cnf->ProxyPassword = SquidProxy::kPassword;
    EXPECT_EQ(update("good"), kUpdateOk);
    EXPECT_EQ(zpf.readBytes("target.fdb"), server->served("good", "target.fdb"));
    EXPECT_TRUE(squid.WaitForLog("access.log", server->base("good") + "zpfl/target.fdb"));
}

TEST_F(UpdateTest, OneUpdateAtATimeAndAKilledOneChangesNothing)
{
    const std::string runtime = platform::RuntimeDirectory(zpf.path());
    {
        platform::InstanceLock other;
        ASSERT_TRUE(other.Acquire(runtime, "__zpfUpdateFilter"));
        EXPECT_EQ(update("good"), kUpdateRunning);
    }
    const auto before = programFiles();
    ChildProcess child;
    ASSERT_TRUE(child.Start(
        {std::string(ZPF_BIN_DIR) + "/zpfctl", "--dir", zpf.path(), "update", "--server", server->base("slow")},
        zpf.file("child.txt")));
    ASSERT_TRUE(WaitUntil([&] { return platform::InstanceExists(runtime, "__zpfUpdateFilter"); }, 10000));
    EXPECT_EQ(update("good"), kUpdateRunning);
    child.Stop(0);
    auto after = programFiles();
    after.erase("child.txt");
    EXPECT_EQ(after, before);
    EXPECT_EQ(update("good"), kUpdateOk);
    EXPECT_FALSE(platform::PathExists(zpf.file(kStagingFolder)));
}

TEST_F(UpdateTest, ToolUpdatesAGrownDatabaseThatARunningProxyTakesAtItsRestart)
{
    NginxOrigin origin;
    origin.Start();
    ASSERT_TRUE(origin.Ready()) << origin.failure;
    const std::string url = "http://127.0.0.1:" + std::to_string(origin.port) + "/newly-blocked/page.html";
    zpf.serve();
    EXPECT_EQ(zpf.curl({url}).code, "404");

    auto r = RunZpfctl(zpf.path(), "update --server " + server->base("grown"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("extra2.fdb"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("filter database updated"), std::string::npos) << r.out;
    EXPECT_NE(zpf.readBytes("zpf.cnf").find("extra1.fdb=1"), std::string::npos);
    EXPECT_NE(zpf.readBytes("zpf.cnf").find("extra2.fdb=0"), std::string::npos);
    EXPECT_NE(zpf.readBytes("status.log").find("Filter Update OK"), std::string::npos);
    EXPECT_NE(RunZpfctl(zpf.path(), "lookup http://new-only.example/").out.find("(target.fdb)          1 [999]"),
              std::string::npos);
    EXPECT_EQ(RunZpfctl(zpf.path(), "last-update").out, zpf.readBytes("day.txt") + "\n");

    EXPECT_EQ(zpf.curl({url}).code, "404"); // the running proxy keeps its database
    zpf.stopServing();
    zpf.serve();
    EXPECT_EQ(zpf.curl({url}).code, "403");

    r = RunZpfctl(zpf.path(), "update --quiet --server " + server->base("cut"));
    EXPECT_EQ(r.status, 13);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_NE(zpf.readBytes("status.log").find("Filter Update Error 13, nothing changed"), std::string::npos);
}

} // namespace
