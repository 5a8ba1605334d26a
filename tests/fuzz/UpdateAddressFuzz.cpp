// Feeds arbitrary bytes to what the update reads from outside: an address (from a
// category list or a redirect) and a response header.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "update/HttpClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string host, path;
    unsigned port = 0;
    if (ParseHttpUrl(text, host, path, port)) {
        // Nothing that could break the request line or reach another port.
        check(!host.empty() && !path.empty() && path[0] == '/' && port >= 1 && port <= 65535);
        for (char c : host + path)
            check(static_cast<unsigned char>(c) > 0x20 && c != 0x7F);
        check(host.find_first_of(":/@") == std::string::npos);
    } else {
        check(host.empty() && path.empty());
    }
    const ResponseHead head = ParseResponseHead(text);
    check(head.status >= -1 && head.status <= 999 && head.length >= -1 && (head.lengthValid || head.length == -1));
    return 0;
}
