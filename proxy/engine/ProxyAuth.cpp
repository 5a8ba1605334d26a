// Proxy authentication in both directions: the client's Basic credentials checked
// against the accounts, and the upstream proxy's credentials put into the request.
#include <strings.h>

#include "config/ConfigrationFile.h"
#include "engine/HTTPServiceBody.h"
#include "engine/RequestEdits.h"
#include "filterdb/GroupSettings.h"

namespace {
constexpr std::string_view kClientHeader = "Proxy-Authorization:";
constexpr std::string_view kUpstreamHeader = "Proxy-authorization:";
constexpr size_t kMaxUpstreamCredentials = 256;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
} // namespace

AuthResult HTTPServiceBody::CheckProxyAuthorization()
{
    // Only the header counts: a body is the client's data, not its credentials.
    const std::string_view header = std::string_view(buffer).substr(0, std::min<size_t>(headerLength, buffer.size()));
    const size_t line = FindHeaderLine(header, kClientHeader);
    if (line == std::string_view::npos)
        return AuthResult::NoCredentials;
    size_t p = line + kClientHeader.size();
    while (p < header.size() && isBlank(header[p]))
        ++p;
    if (header.size() - p < 5 || ::strncasecmp(header.data() + p, "Basic", 5) != 0)
        return AuthResult::OtherScheme;
    p += 5;
    while (p < header.size() && isBlank(header[p]))
        ++p;
    size_t end = header.find('\n', p);
    if (end == std::string_view::npos)
        end = header.size();
    // The decoded text is read as a C string, so it ends at a zero byte.
    const std::string decoded = DecodeBase64(header.substr(p, end - p));
    const ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    const int result = cnf->passWordData.CheckAccessClass(decoded.c_str(), &policy.group, false);
    // An account may name a group that is gone; its client is then served as group 0.
    if (!GroupSettings(*cnf, policy.group))
        policy.group = 0;
    return static_cast<AuthResult>(result);
}

bool HTTPServiceBody::AddUpstreamAuthorization()
{
    const ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    std::string credentials = cnf->ProxyUsername + ":" + cnf->ProxyPassword;
    if (credentials.size() > kMaxUpstreamCredentials)
        credentials.resize(kMaxUpstreamCredentials);
    std::string line(kUpstreamHeader);
    line += " Basic ";
    line += EncodeBase64(credentials);
    line += "\r\n";
    if (headerLength > buffer.size())
        return false;
    return requestedit::SetHeaderLine(buffer, headerLength, kUpstreamHeader, line);
}
