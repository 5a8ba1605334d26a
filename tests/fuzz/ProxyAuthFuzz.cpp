// Feeds arbitrary bytes to the Base64 decoder and, as a request header, to the client
// credential check and the upstream credential edit.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "config/ConfigrationFile.h"
#include "engine/HTTPServiceBody.h"
#include "engine/RequestEdits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const std::string decoded = DecodeBase64(input);
    check(decoded.size() <= input.size());
    // Whatever decodes comes back the same through a round trip.
    check(DecodeBase64(EncodeBase64(decoded)) == decoded);

    static ConfigrationFileSigleton* cnf = [] {
        auto* c = ConfigrationFileSigleton::getInstance();
        c->cnfData.resize(1);
        c->passWordData.accounts = {CPassWord("user:pw:2;")};
        c->ProxyUsername = "up";
        c->ProxyPassword = "secret";
        return c;
    }();
    (void)cnf;

    HTTPServiceBody body(platform::kInvalidSocket, nullptr);
    body.buffer.assign(input);
    body.headerLength = static_cast<uint32_t>(FindHeaderEnd(input));
    const AuthResult result = body.CheckProxyAuthorization();
    check(result >= AuthResult::OtherScheme && body.policy.group == 0);

    const uint32_t before = body.headerLength;
    const size_t sizeBefore = body.buffer.size();
    if (body.AddUpstreamAuthorization()) {
        const int64_t grown = static_cast<int64_t>(body.buffer.size()) - static_cast<int64_t>(sizeBefore);
        check(grown == static_cast<int64_t>(body.headerLength) - static_cast<int64_t>(before));
        check(body.buffer.find("Proxy-authorization: Basic dXA6c2VjcmV0\r\n") != std::string::npos);
    } else {
        check(body.buffer.size() == sizeBefore);
    }
    return 0;
}
