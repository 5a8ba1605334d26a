// Feeds arbitrary bytes to the canonical URL form: it must be a fixed point of itself
// and grow the text by no more than its stated bound.
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "filterdb/CanonicalUrl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string once = CanonicalUrl(input);
    check(once.size() <= input.size() + kCanonicalGrowth && CanonicalUrl(once) == once);
    (void)CanonicalExtension(once);
    return 0;
}
