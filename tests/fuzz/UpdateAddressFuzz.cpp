// Feeds arbitrary bytes to what the update reads from outside: an address (from a
// category list or a redirect) and a response header.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "update/HttpClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string host, path;
    unsigned port = 0;
    if (ParseHttpUrl(text, host, path, port)) {
        // Nothing that could break the request line or reach another port.
        if (host.empty() || path.empty() || path[0] != '/' || port < 1 || port > 65535)
            std::abort();
        for (char c : host + path) {
            if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F)
                std::abort();
        }
        if (host.find_first_of(":/@") != std::string::npos)
            std::abort();
    } else if (!host.empty() || !path.empty()) {
        std::abort();
    }
    const ResponseHead head = ParseResponseHead(text);
    if (head.status < -1 || head.status > 999 || head.length < -1 || (!head.lengthValid && head.length != -1))
        std::abort();
    return 0;
}
