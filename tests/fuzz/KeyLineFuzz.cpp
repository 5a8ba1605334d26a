// Arbitrary key-file lines through the key syntax: the expansion must stay within its
// bounds and never yield an empty string.
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "filterdb/FilterKey.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view line(reinterpret_cast<const char*>(data), size);
    FilterKey key = FilterKey::Parse(line);
    check(key.strings.size() <= FilterKey::kMaxExpansion);
    check(key.kind != FilterKey::Invalid || key.strings.empty());
    for (const auto& s : key.strings)
        check(!s.empty());
    return 0;
}
