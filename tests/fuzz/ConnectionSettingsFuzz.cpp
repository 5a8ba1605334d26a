// Connection settings values come from a hive anyone with the user's rights can write.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "proxysettings/ConnectionSettingsBlob.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ConnectionSettingsBlob blob;
    // What was read must write back unchanged.
    check(!ParseConnectionSettings(bytes, &blob) || SerializeConnectionSettings(blob) == bytes);
    return 0;
}
