// Feeds arbitrary bytes to the request reader's header-end scan (checking that a
// scan resumed after each piece finds what a scan of the whole finds), the
// Content-Length reader and the request-line parser.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "engine/HTTPServiceBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the piece size of the resumed scan.
    const size_t piece = 1 + data[0] % 64;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

    const size_t whole = FindHeaderEnd(input);
    size_t resumed = 0;
    size_t from = 0;
    for (size_t have = piece; resumed == 0; have += piece) {
        const size_t upTo = have < input.size() ? have : input.size();
        resumed = FindHeaderEnd(input.substr(0, upTo), from);
        from = upTo >= 3 ? upTo - 3 : 0;
        if (upTo == input.size())
            break;
    }
    check(resumed == whole);

    const size_t headerLength = whole ? whole : input.size();
    (void)ContentLengthOf(input.substr(0, headerLength));

    HTTPServiceBody body(platform::kInvalidSocket, nullptr);
    body.buffer.assign(input);
    if (body.ParseRequestLine()) {
        const RequestLine& r = body.request;
        check(r.scheme != Scheme::Unknown && r.port >= 1 && r.port <= 65535 && r.version.size() <= 8);
    }
    int value = 0;
    (void)ScanInteger(input, value);
    return 0;
}
