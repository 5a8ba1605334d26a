// Connection settings values come from a hive anyone with the user's rights can write.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "proxysettings/ConnectionSettingsBlob.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ConnectionSettingsBlob blob;
    if (ParseConnectionSettings(bytes, &blob) && SerializeConnectionSettings(blob) != bytes)
        std::abort(); // what was read must write back unchanged
    return 0;
}
