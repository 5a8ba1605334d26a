// Command line of the load generator: URLs, endpoints, bounds and the request bytes.
#include <gtest/gtest.h>

#include "proxyload/LoadOptions.h"

using namespace proxyload;

TEST(LoadOptionsTest, UrlsOnLoopbackAreSplitIntoEndpointAndPath)
{
    struct Case {
        const char* url;
        bool ok;
        const char* host;
        unsigned port;
        const char* path;
    };
    const Case cases[] = {
        {"http://127.0.0.1:8080/page.html", true, "127.0.0.1", 8080, "/page.html"},
        {"http://127.0.0.1:8080", true, "127.0.0.1", 8080, "/"},
        {"http://127.0.0.1/a?b=c", true, "127.0.0.1", 80, "/a?b=c"},
        {"http://127.1.2.3:65535/x", true, "127.1.2.3", 65535, "/x"},
        {"https://127.0.0.1:8080/", false, "", 0, ""},
        {"http://10.0.0.1:8080/", false, "", 0, ""}, // not loopback
        {"http://localhost:8080/", false, "", 0, ""}, // names are not resolved
        {"http://127.0.0.1:0/", false, "", 0, ""}, // port out of range
        {"http://127.0.0.1:65536/", false, "", 0, ""},
        {"http://127.0.0/", false, "", 0, ""}, // three parts
        {"http://127.0.0.256:80/", false, "", 0, ""},
        {"http://127.0.0.1:80/a b", false, "", 0, ""}, // blank would break the request line
        {"http://127.0.0.1:80/a\r\nX: y", false, "", 0, ""},
    };
    for (const Case& c : cases) {
        Endpoint endpoint;
        std::string path;
        std::string error;
        EXPECT_EQ(ParseUrl(c.url, endpoint, path, &error), c.ok) << c.url;
        if (c.ok) {
            EXPECT_EQ(endpoint.host, c.host) << c.url;
            EXPECT_EQ(endpoint.port, c.port) << c.url;
            EXPECT_EQ(path, c.path) << c.url;
        } else {
            EXPECT_FALSE(error.empty()) << c.url;
        }
    }
}

TEST(LoadOptionsTest, OptionsAreReadWithinTheirBounds)
{
    LoadOptions o;
    ASSERT_TRUE(ParseOptions({"--url", "http://127.0.0.1:81/p", "--proxy", "127.0.0.1:3036", "-c", "64", "--duration",
                              "2.5", "--warmup", "0.5", "--requests", "100", "--timeout", "1", "--expect-status", "403",
                              "--label", "zpf"},
                             o, nullptr));
    EXPECT_TRUE(o.viaProxy);
    EXPECT_EQ(o.proxy.port, 3036u);
    EXPECT_EQ(o.connections, 64);
    EXPECT_EQ(o.durationMs, 2500);
    EXPECT_EQ(o.warmupMs, 500);
    EXPECT_EQ(o.maxRequests, 100);
    EXPECT_EQ(o.timeoutMs, 1000);
    EXPECT_EQ(o.expectStatus, 403);
    EXPECT_EQ(o.label, "zpf");

    const std::vector<std::vector<std::string_view>> refused = {
        {}, // no URL
        {"--url"}, // value missing
        {"--url", "http://127.0.0.1:81/", "--connections", "0"},
        {"--url", "http://127.0.0.1:81/", "--connections", "1025"},
        {"--url", "http://127.0.0.1:81/", "--duration", "0"},
        {"--url", "http://127.0.0.1:81/", "--duration", "601"},
        {"--url", "http://127.0.0.1:81/", "--warmup", "61"},
        {"--url", "http://127.0.0.1:81/", "--requests", "0"},
        {"--url", "http://127.0.0.1:81/", "--requests", "10000001"},
        {"--url", "http://127.0.0.1:81/", "--timeout", "61"},
        {"--url", "http://127.0.0.1:81/", "--expect-status", "99"},
        {"--url", "http://127.0.0.1:81/", "--proxy", "192.168.1.1:3128"},
        {"--url", "http://127.0.0.1:81/", "--proxy", "127.0.0.1"},
        {"--url", "http://127.0.0.1:81/", "--label", "two words"},
        {"--url", "http://127.0.0.1:81/", "--keep-alive", "1"},
    };
    for (const auto& args : refused) {
        LoadOptions options;
        std::string error;
        EXPECT_FALSE(ParseOptions(args, options, &error)) << (args.size() > 2 ? args[2] : "");
        EXPECT_FALSE(error.empty());
    }
}

TEST(LoadOptionsTest, RequestIsOriginFormDirectAndAbsoluteThroughAProxy)
{
    LoadOptions o;
    ASSERT_TRUE(ParseOptions({"--url", "http://127.0.0.1:8080/a/page.html"}, o, nullptr));
    EXPECT_EQ(BuildRequest(o), "GET /a/page.html HTTP/1.0\r\nHost: 127.0.0.1:8080\r\n"
                               "User-Agent: bench_proxyload\r\nAccept: */*\r\n\r\n");
    ASSERT_TRUE(ParseOptions({"--url", "http://127.0.0.1:8080/a/page.html", "--proxy", "127.0.0.1:3036"}, o, nullptr));
    EXPECT_EQ(BuildRequest(o), "GET http://127.0.0.1:8080/a/page.html HTTP/1.0\r\nHost: 127.0.0.1:8080\r\n"
                               "User-Agent: bench_proxyload\r\nAccept: */*\r\n\r\n");
}
