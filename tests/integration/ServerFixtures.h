#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>

#include "platform/ProcessControl.h"
#include "platform/TextFile.h"
#include "support/ChildProcess.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

namespace zpftest {

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

protected:
    /// The program's folder, open to the user it may drop to.
    std::string home(std::filesystem::perms perms)
    {
        std::error_code ec;
        std::filesystem::permissions(m_home.path(), perms, ec);
        port = FreeLoopbackPort();
        return m_home.path();
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

    /// The page with a phrase the sample database blanks.
    static std::string PhrasePage()
    {
        return "<!DOCTYPE html>\n<html><head><title>Phrase page</title></head>\n"
               "<body><p id=\"text\">Before zpf-sample-blank after.</p></body></html>\n";
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
        const std::string program = FindProgram("nginx");
        if (program.empty()) {
            missing = true;
            return;
        }
        using std::filesystem::perms;
        const std::string dir =
            home(perms::owner_all | perms::group_read | perms::group_exec | perms::others_read | perms::others_exec);
        const std::string www = dir + "www/";
        for (const char* page : {"page.html", "raw/page.html", "blocked/page.html"})
            m_home.writeBytes(std::string("www/") + page, PhrasePage());
        m_home.writeBytes("www/blockphrase.html", BlockPhrasePage());
        m_home.writeBytes("www/image.png", ImageBytes());
        m_home.writeBytes("www/large.html", LargePage());
        m_home.writeBytes("www/ssi/page.html",
                          "<html><body><p>zpf-sample-blank <!--# echo var=\"document_uri\" --></p></body></html>\n");
        const std::string p = std::to_string(port);
        // Runs as the user starting it (root on the test machines): "user" is only
        // honoured for root and keeps the workers able to read the temporary folder.
        m_home.writeBytes("nginx.conf",
                          "daemon off;\nmaster_process off;\n" + std::string(::geteuid() == 0 ? "user root;\n" : "") +
                              "worker_processes 1;\npid " + dir + "nginx.pid;\nerror_log " + dir +
                              "error.log;\n"
                              "events { worker_connections 256; }\n"
                              "http {\n"
                              // What the server was asked, and of which host.
                              "  log_format withhost '$remote_addr \"$request\" $status host=$http_host';\n"
                              "  access_log " +
                              dir +
                              "access.log withhost;\n"
                              "  client_body_temp_path " +
                              dir + "body; proxy_temp_path " + dir +
                              "proxy;\n"
                              "  fastcgi_temp_path " +
                              dir + "fcgi; uwsgi_temp_path " + dir + "uwsgi; scgi_temp_path " + dir +
                              "scgi;\n"
                              "  types { text/html html; image/png png; text/plain txt; }\n"
                              "  if_modified_since before;\n"
                              "  client_body_timeout 5s;\n"
                              "  gzip on; gzip_http_version 1.0; gzip_min_length 1; gzip_types text/html text/plain;\n"
                              "  server {\n"
                              "    listen 127.0.0.1:" +
                              p + ";\n" + (ipv6 ? "    listen [::1]:" + p + ";\n" : "") + "    root " + www +
                              ";\n"
                              "    location /ssi/ { ssi on; }\n"
                              "    location = /post { client_body_buffer_size 1m; proxy_pass http://127.0.0.1:" +
                              p +
                              "/sink; }\n"
                              "    location = /sink { return 200 \"received $content_length bytes\\n\"; }\n"
                              "  }\n"
                              "}\n");
        launch({program, "-c", dir + "nginx.conf", "-p", dir, "-e", dir + "error.log"});
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
        m_home.writeBytes("squid.conf", "http_port 127.0.0.1:" + std::to_string(port) +
                                            "\n"
                                            "pid_filename " +
                                            dir +
                                            "squid.pid\n"
                                            "cache_log " +
                                            dir +
                                            "cache.log\n"
                                            "access_log stdio:" +
                                            dir +
                                            "access.log\n"
                                            "cache deny all\ncache_mem 8 MB\ncoredump_dir " +
                                            dir +
                                            "\n"
                                            "visible_hostname zpftest\n"
                                            // Names are never looked up outside this machine; the tests use addresses.
                                            "dns_nameservers 127.0.0.1\nnetdb_filename none\npinger_enable off\n"
                                            "shutdown_lifetime 0 seconds\n"
                                            "auth_param basic program " +
                                            helper + " " + dir +
                                            "passwd\n"
                                            "auth_param basic children 2 startup=1\n"
                                            "auth_param basic realm zpftest\n"
                                            "acl authed proxy_auth REQUIRED\n"
                                            "http_access allow authed\nhttp_access deny all\n");
        launch({program, "-N", "-f", dir + "squid.conf"});
    }
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
