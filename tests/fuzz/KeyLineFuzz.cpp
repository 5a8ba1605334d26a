// Arbitrary key-file lines through the key syntax: the expansion must stay within its
// bounds and never yield an empty string.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "filterdb/FilterKey.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view line(reinterpret_cast<const char*>(data), size);
    FilterKey key = FilterKey::Parse(line);
    if (key.strings.size() > FilterKey::kMaxExpansion)
        std::abort();
    if (key.kind == FilterKey::Invalid && !key.strings.empty())
        std::abort();
    for (const auto& s : key.strings) {
        if (s.empty())
            std::abort();
    }
    return 0;
}
