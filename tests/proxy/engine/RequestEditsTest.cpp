// Base64, the header edits made before forwarding, and both directions of proxy
// authentication.
#include <gtest/gtest.h>

#include "config/ConfigrationFile.h"
#include "engine/HTTPServiceBody.h"
#include "engine/RequestEdits.h"
#include "support/TempProgramDir.h"

namespace {

TEST(Base64Test, EncodesAndDecodesStandardAlphabet)
{
    struct Row {
        std::string plain, encoded;
    };
    const std::vector<Row> rows = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"user:pw", "dXNlcjpwdw=="},
        {std::string("\xff\xfe\x00\x01", 4), "//4AAQ=="},
        {"a+b/c?", "YStiL2M/"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(EncodeBase64(r.plain), r.encoded) << r.plain;
        EXPECT_EQ(DecodeBase64(r.encoded), r.plain) << r.encoded;
    }
}

TEST(Base64Test, DecodingStopsAtTheFirstForeignCharacter)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"dXNlcjpwdw==\r", "user:pw"}, // the carriage return before the line feed
        {"dXNlcjpwdw\r", "user:pw"}, // no padding
        {"Zm9vYg", "foob"}, // a trailing pair gives one byte
        {"Zm9vY", "foo"}, // a single trailing character gives none
        {"Zm9v=Zm9v", "foo"}, // nothing after the padding
        {"Zm 9v", "f"}, // a blank ends it
        {"!!!!", ""},
    };
    for (const auto& [text, plain] : rows)
        EXPECT_EQ(DecodeBase64(text), plain) << text;
}

// The edits of a whole request are checked byte for byte by the relay tests.
TEST(RequestEditTest, VersionOnlyInTheRequestLineAndBareLineFeeds)
{
    std::string request = "GET http://h/ HTTP/1.0\nX: HTTP/1.1\n\n";
    requestedit::DowngradeVersion(request);
    EXPECT_EQ(request, "GET http://h/ HTTP/1.0\nX: HTTP/1.1\n\n");

    uint32_t headerLength = static_cast<uint32_t>(request.size());
    ASSERT_TRUE(requestedit::SetHeaderLine(request, headerLength, "Y:", "Y: 1\r\n"));
    EXPECT_EQ(request, "GET http://h/ HTTP/1.0\nX: HTTP/1.1\nY: 1\r\n\n");
    EXPECT_EQ(headerLength, request.size());

    // A header that ends in carriage returns only has no place for a new line.
    std::string crOnly = "GET http://h/ HTTP/1.0\r\r";
    headerLength = static_cast<uint32_t>(crOnly.size());
    EXPECT_FALSE(requestedit::SetHeaderLine(crOnly, headerLength, "Y:", "Y: 1\r\n"));
}

TEST(RequestEditTest, NamesMatchOnlyAtTheStartOfAHeaderLine)
{
    const std::string header =
        "GET http://h/Accept-Encoding: HTTP/1.0\r\nX-Accept-Encoding: a\r\nAccept-Encoding: b\r\n\r\n";
    EXPECT_EQ(FindHeaderLine(header, "Accept-Encoding:"), header.find("\r\nAccept-Encoding: b") + 2);
    EXPECT_EQ(FindHeaderLine(header, "Host:"), std::string_view::npos);
    EXPECT_EQ(LineFeedHeaderEnd("a\r\n\r\r\nb"), 6u);
    EXPECT_EQ(LineFeedHeaderEnd("a\r\nb\r\n"), 0u);
}

TEST(RequestEditTest, HeadersTheServerCouldReadOtherwiseAreNotForwarded)
{
    const std::string line = "POST http://h/ HTTP/1.1\r\n";
    const std::vector<std::pair<std::string, bool>> rows = {
        {line + "Host: h\r\nContent-Length: 4\r\n\r\n", true},
        {"GET http://h/ HTTP/1.1\nHost: h\n\n", true},
        {line + "Content-Length: 4\r\ncontent-length:  4 \r\n\r\n", true},
        {line + "Host: h\r\r", false}, // ends where a server sees no end
        {line + "Host: h\rX: y\r\n\r\n", false},
        {line + std::string("X: a\0b\r\n\r\n", 11), false},
        {line + "X: a\r\n folded\r\n\r\n", false},
        {line + "Host : h\r\n\r\n", false},
        {line + "Transfer-Encoding: chunked\r\n\r\n", false},
        {line + "Content-Length: 4\r\nContent-Length: 40\r\n\r\n", false},
        {line + "Content-Length: -4\r\n\r\n", false},
        {line + "Content-Length: 4x\r\n\r\n", false},
    };
    for (const auto& [header, forwardable] : rows)
        EXPECT_EQ(ForwardableHeader(header), forwardable) << header;
}

class ProxyAuthTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cnf->cnfData.clear();
        cnf->SetDefaultPaths();
        (void)cnf->Initialize(); // only some of the files exist
        cnf->AddGroup("kids");
        cnf->passWordData.accounts = {CPassWord("free:open:1;kids"), CPassWord("kid:pw:2;kids"),
                                      CPassWord("lost:pw:2;nosuchgroup")};
    }
    void TearDown() override
    {
        cnf->passWordData.accounts.clear();
        cnf->ProxyUsername.clear();
        cnf->ProxyPassword.clear();
    }
    AuthResult check(const std::string& header, int startGroup = 0)
    {
        HTTPServiceBody body(platform::kInvalidSocket, nullptr);
        body.buffer = header;
        body.headerLength = static_cast<uint32_t>(FindHeaderEnd(header));
        body.policy.group = startGroup;
        const AuthResult result = body.CheckProxyAuthorization();
        group = body.policy.group;
        return result;
    }

    zpftest::TempProgramDir dir;
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    int group = -99;
};

TEST_F(ProxyAuthTest, ClientCredentials)
{
    const std::string line = "GET http://h/ HTTP/1.1\r\n";
    using enum AuthResult;
    const auto filtered = static_cast<AuthResult>(2);
    struct Row {
        std::string header;
        AuthResult result;
        int group;
    };
    const std::vector<Row> rows = {
        {line + "Host: h\r\n\r\n", NoCredentials, 1},
        {line + "Proxy-Authorization: Digest abc\r\n\r\n", OtherScheme, 1},
        {line + "proxy-authorization:   basic   " + EncodeBase64("free:open") + "\r\n\r\n", Unfiltered, 1},
        {line + "Proxy-Authorization: Basic " + EncodeBase64("kid:pw") + "\r\n\r\n", filtered, 1},
        {line + "Proxy-Authorization: Basic " + EncodeBase64("kid:wrong") + "\r\n\r\n", Refused, 0},
        // An account whose group is gone is served as the default group.
        {line + "Proxy-Authorization: Basic " + EncodeBase64("lost:pw") + "\r\n\r\n", filtered, 0},
        {line + "Proxy-Authorization: Basic " + EncodeBase64(std::string("kid:pw\0x", 8)) + "\r\n\r\n", filtered, 1},
        // Only a line of that name, and only in the header.
        {line + "X-Proxy-Authorization: Basic " + EncodeBase64("kid:pw") + "\r\n\r\n", NoCredentials, 1},
        {"POST http://h/ HTTP/1.1\r\nContent-Length: 60\r\n\r\nProxy-Authorization: Basic " + EncodeBase64("kid:pw"),
         NoCredentials, 1},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(check(r.header, 1), r.result) << r.header.substr(0, 80);
        EXPECT_EQ(group, r.group) << r.header.substr(0, 80);
    }
}

TEST_F(ProxyAuthTest, UpstreamCredentialsReplaceOrAddOneLine)
{
    cnf->ProxyUsername = "up";
    cnf->ProxyPassword = "secret";
    const std::string expected = "Proxy-authorization: Basic " + EncodeBase64("up:secret") + "\r\n";
    struct Row {
        std::string request, edited;
    };
    const std::vector<Row> rows = {
        {"GET http://h/ HTTP/1.0\r\nHost: h\r\n\r\nbody",
         "GET http://h/ HTTP/1.0\r\nHost: h\r\n" + expected + "\r\nbody"},
        {"GET http://h/ HTTP/1.0\r\nPROXY-AUTHORIZATION: Basic old\r\nHost: h\r\n\r\n",
         "GET http://h/ HTTP/1.0\r\n" + expected + "Host: h\r\n\r\n"},
        {"GET http://h/ HTTP/1.0\n\n", "GET http://h/ HTTP/1.0\n" + expected + "\n"},
    };
    for (const Row& r : rows) {
        HTTPServiceBody body(platform::kInvalidSocket, nullptr);
        body.buffer = r.request;
        body.headerLength = static_cast<uint32_t>(FindHeaderEnd(r.request));
        ASSERT_TRUE(body.AddUpstreamAuthorization()) << r.request;
        EXPECT_EQ(body.buffer, r.edited);
        EXPECT_EQ(body.headerLength, FindHeaderEnd(body.buffer));
    }

    // Name and password together are cut to 256 characters before encoding.
    cnf->ProxyUsername = std::string(200, 'u');
    cnf->ProxyPassword = std::string(200, 'p');
    HTTPServiceBody body(platform::kInvalidSocket, nullptr);
    body.buffer = "GET http://h/ HTTP/1.0\r\n\r\n";
    body.headerLength = static_cast<uint32_t>(body.buffer.size());
    ASSERT_TRUE(body.AddUpstreamAuthorization());
    const std::string cut = (std::string(200, 'u') + ":" + std::string(200, 'p')).substr(0, 256);
    EXPECT_NE(body.buffer.find("Basic " + EncodeBase64(cut) + "\r\n"), std::string::npos);

    // A header without an end by line feeds cannot take the line.
    body.buffer = "GET http://h/ HTTP/1.0\r\r";
    body.headerLength = static_cast<uint32_t>(body.buffer.size());
    EXPECT_FALSE(body.AddUpstreamAuthorization());
}

} // namespace
