#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "platform/ProcessControl.h"
#include "platform/TextFile.h"
#include "support/ChildProcess.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"
#include "ZpfProcess.h"

namespace zpftest {

/// The text with each placeholder replaced by its value, in the order given.
inline std::string Fill(std::string text, const std::vector<std::pair<std::string, std::string>>& values)
{
    for (const auto& [name, value] : values) {
        for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size()))
            text.replace(at, name.size(), value);
    }
    return text;
}

/// A server program of the system the test runs on, in a temporary directory with
/// its own configuration, on a free loopback port. `missing` tells that the program
/// is not installed at all (the tests then skip); `failure` why it did not start.
class ServerProgram {
public:
    bool missing = false;
    std::string failure;
    unsigned port = 0;

    bool Ready() const { return !missing && failure.empty(); }
    std::string Log(const std::string& name) const { return m_home.readBytes(name); }
    /// True once the log holds the text (the server may write it after its answer).
    bool WaitForLog(const std::string& name, const std::string& text) const
    {
        return WaitUntil([&] { return Log(name).find(text) != std::string::npos; });
    }

protected:
    /// The program's folder, open to the user it may drop to.
    std::string home(std::filesystem::perms perms)
    {
        std::error_code ec;
        std::filesystem::permissions(m_home.path(), perms, ec);
        port = FreeLoopbackPort();
        return m_home.path();
    }
    /// The folder for nginx, which its workers can read; "" with `missing` set when nginx
    /// is not installed.
    std::string nginxHome()
    {
        missing = FindProgram("nginx").empty();
        using std::filesystem::perms;
        return missing ? ""
                       : home(perms::owner_all | perms::group_read | perms::group_exec | perms::others_read |
                              perms::others_exec);
    }
    /// Starts nginx with what every test server shares and then the lines of its http
    /// block, where @DIR@ stands for the folder and @PORT@ for the port. It runs as the
    /// user starting it (root on the test machines): "user" is only honoured for root
    /// and keeps the workers able to read the temporary folder.
    bool launchNginx(const std::string& http)
    {
        const std::string dir = m_home.path();
        m_home.writeBytes(
            "nginx.conf",
            Fill(R"(daemon off; master_process off; @USER@
worker_processes 1; pid @DIR@nginx.pid; error_log @DIR@error.log;
events { worker_connections 256; }
http {
  client_body_temp_path @DIR@body; proxy_temp_path @DIR@proxy;
  fastcgi_temp_path @DIR@fcgi; uwsgi_temp_path @DIR@uwsgi; scgi_temp_path @DIR@scgi;
)" + http + "}\n",
                 {{"@USER@", ::geteuid() == 0 ? "user root;" : ""}, {"@DIR@", dir}, {"@PORT@", std::to_string(port)}}));
        return launch({FindProgram("nginx"), "-c", dir + "nginx.conf", "-p", dir, "-e", dir + "error.log"});
    }
    bool launch(const std::vector<std::string>& argv)
    {
        if (!m_process.Start(argv, m_home.file("out.txt"))) {
            failure = argv[0] + " could not be started";
            return false;
        }
        if (!WaitForPort(port, [this] { return m_process.Running(); })) {
            failure = argv[0] + " did not listen on its port: " + Log("out.txt");
            m_process.Stop();
            return false;
        }
        return true;
    }

    TempDir m_home;
    ChildProcess m_process; // stopped before its folder goes
};

/// nginx as the origin server, serving pages of each kind from its own directory.
class NginxOrigin : public ServerProgram {
public:
    /// Set before Start: also listen on [::1] at the same port.
    bool ipv6 = false;

    /// The page with a phrase the sample database blanks, or with that phrase blanked.
    static std::string PhrasePage(bool blanked = false)
    {
        return "<!DOCTYPE html>\n<html><head><title>Phrase page</title></head>\n<body><p id=\"text\">Before " +
               (blanked ? std::string(16, ' ') : "zpf-sample-blank") + " after.</p></body></html>\n";
    }
    static std::string BlockPhrasePage()
    {
        return "<html><body><p>Some text and a zpf-sample-adult-phrase here.</p></body></html>\n";
    }
    static std::string ImageBytes()
    {
        std::string png = "\x89PNG\r\n\x1a\n";
        for (int i = 0; i < 3000; ++i)
            png += static_cast<char>((i * 7919) & 0xFF);
        return png + "zpf-sample-blank zpf-sample-adult-phrase";
    }
    static std::string LargePage()
    {
        std::string page = "<html><body>\n";
        for (int i = 0; page.size() < 300000; ++i)
            page += "<p>Line " + std::to_string(i) + " of a long and perfectly harmless page.</p>\n";
        return page + "</body></html>\n";
    }

    void Start()
    {
        if (nginxHome().empty())
            return;
        for (const char* page : {"page.html", "raw/page.html", "blocked/page.html"})
            m_home.writeBytes(std::string("www/") + page, PhrasePage());
        m_home.writeBytes("www/blockphrase.html", BlockPhrasePage());
        m_home.writeBytes("www/image.png", ImageBytes());
        m_home.writeBytes("www/large.html", LargePage());
        m_home.writeBytes("www/ssi/page.html",
                          "<html><body><p>zpf-sample-blank <!--# echo var=\"document_uri\" --></p></body></html>\n");
        launchNginx(R"(
  # What the server was asked, and of which host.
  log_format withhost '$remote_addr "$request" $status host=$http_host';
  access_log @DIR@access.log withhost;
  types { text/html html; image/png png; text/plain txt; }
  if_modified_since before;
  client_body_timeout 5s;
  gzip on; gzip_http_version 1.0; gzip_min_length 1; gzip_types text/html text/plain;
  server {
    listen 127.0.0.1:@PORT@; )" +
                    std::string(ipv6 ? "listen [::1]:@PORT@;" : "") + R"(
    root @DIR@www/;
    location /ssi/ { ssi on; }
    location = /post { client_body_buffer_size 1m; proxy_pass http://127.0.0.1:@PORT@/sink; }
    location = /sink { return 200 "received $content_length bytes\n"; }
  }
)");
    }
};

/// squid as the upstream proxy, requiring Basic authentication of one user.
class SquidProxy : public ServerProgram {
public:
    static constexpr const char* kUser = "up";
    static constexpr const char* kPassword = "secret";

    void Start()
    {
        const std::string program = FindProgram("squid");
        const std::string helper = "/usr/lib/squid/basic_ncsa_auth";
        if (program.empty() || ::access(helper.c_str(), X_OK) != 0) {
            missing = true;
            return;
        }
        // squid drops to its own user, which must reach its logs here.
        const std::string dir = home(std::filesystem::perms::all);
        std::string hash;
        if (platform::RunProgram({"openssl", "passwd", "-apr1", kPassword}, &hash, 10000) != 0 || hash.empty()) {
            failure = "openssl passwd failed";
            return;
        }
        while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r'))
            hash.pop_back();
        m_home.writeBytes("passwd", std::string(kUser) + ":" + hash + "\n");
        ::chmod((dir + "passwd").c_str(), 0644);
        // Names are never looked up outside this machine; the tests use addresses.
        m_home.writeBytes("squid.conf", Fill(R"(http_port 127.0.0.1:@PORT@
pid_filename @DIR@squid.pid
cache_log @DIR@cache.log
access_log stdio:@DIR@access.log
cache deny all
cache_mem 8 MB
coredump_dir @DIR@
visible_hostname zpftest
dns_nameservers 127.0.0.1
netdb_filename none
pinger_enable off
shutdown_lifetime 0 seconds
auth_param basic program @HELPER@ @DIR@passwd
auth_param basic children 2 startup=1
auth_param basic realm zpftest
acl authed proxy_auth REQUIRED
http_access allow authed
http_access deny all
)",
                                             {{"@DIR@", dir}, {"@PORT@", std::to_string(port)}, {"@HELPER@", helper}}));
        launch({program, "-N", "-f", dir + "squid.conf"});
    }
};

/// The category of the tests: sample keys of each kind plus a path of the local origin.
constexpr const char* kTestCategory = "adult.example/\n"
                                      "127.0.0.1/blocked/\n"
                                      "*.xxx-sample\n"
                                      "{zpf-sample-adult-phrase}\n"
                                      "[zpf-sample-blank]\n"
                                      "(zpf-sample-upload-word)\n"
                                      "*** End of filtering database. ***\n";

/// The installed zpf, showing its pages and blocking by kTestCategory, in front of one
/// nginx that each test suite starts once.
class NginxTest : public ::testing::Test {
protected:
    static void StartNginx(bool ipv6)
    {
        nginx = new NginxOrigin;
        nginx->ipv6 = ipv6;
        nginx->Start();
    }
    static void SetUpTestSuite() { StartNginx(false); }
    static void TearDownTestSuite()
    {
        delete nginx;
        nginx = nullptr;
    }
    void SetUp() override
    {
        if (FindProgram("curl").empty() || nginx->missing)
            GTEST_SKIP() << "curl or nginx is not installed (tools/deps.sh installs them)";
        ASSERT_TRUE(nginx->Ready()) << nginx->failure << nginx->Log("error.log");
        zpf.setSetting("MessageFlag", "1");
        zpf.writeCategory(kTestCategory);
    }
    std::string authority() const { return "127.0.0.1:" + std::to_string(nginx->port); }
    std::string origin(const std::string& path) const { return "http://" + authority() + path; }

    inline static NginxOrigin* nginx = nullptr;
    InstalledZpf zpf;
};

/// Loads a URL in headless Chromium through the proxy and returns the page's DOM as
/// the browser shows it; empty when Chromium failed.
inline std::string ChromiumDom(unsigned proxyPort, const std::string& url, const std::string& profileDir)
{
    const std::string command =
        "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync --disable-extensions "
        "--disable-default-apps --dns-prefetch-disable --no-pings --metrics-recording-only "
        "--host-resolver-rules='MAP * ~NOTFOUND, EXCLUDE 127.0.0.1' "
        "--user-data-dir='" +
        profileDir + "' --proxy-server=127.0.0.1:" + std::to_string(proxyPort) +
        " --proxy-bypass-list='<-loopback>' --virtual-time-budget=5000 --timeout=20000 --dump-dom '" + url +
        "' 2>/dev/null";
    std::string out;
    (void)platform::RunProgram({"sh", "-c", command}, &out, 60000);
    return out;
}

} // namespace zpftest
