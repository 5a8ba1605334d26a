// Feeds arbitrary bytes to the response header analysis, whole and as a relay would
// see them growing piece by piece, and checks the fields stay within their meaning.
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "engine/HTTPServiceBody.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t piece = 1 + data[0] % 128;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

    HTTPServiceBody whole(platform::kInvalidSocket, nullptr);
    const bool complete = whole.AnalyzeResponseHeader(input);
    check(!complete || (whole.response.headerLength != 0 && whole.response.headerLength <= input.size()));
    check(whole.response.length >= -1);

    // Growing input: the first complete prefix must give the same header length.
    HTTPServiceBody grown(platform::kInvalidSocket, nullptr);
    for (size_t have = piece;; have += piece) {
        const size_t upTo = have < input.size() ? have : input.size();
        if (grown.AnalyzeResponseHeader(input.substr(0, upTo))) {
            check(complete && grown.response.headerLength == whole.response.headerLength);
            break;
        }
        if (upTo == input.size()) {
            check(!complete);
            break;
        }
    }
    return 0;
}
