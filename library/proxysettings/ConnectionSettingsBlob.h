#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ravlin_export.h"

/// One connection's binary settings value: three 32-bit little-endian numbers, three
/// texts each preceded by its 32-bit length, then a remainder kept as it is.
struct ConnectionSettingsBlob {
    static constexpr uint32_t kVersion = 60;
    static constexpr uint32_t kFlagDirect = 1;
    static constexpr uint32_t kFlagProxy = 2;
    /// Version, counter, flags and the three text lengths.
    static constexpr size_t kFixedSize = 24;
    /// What follows the texts in a value we create.
    static constexpr size_t kNewRemainderSize = 28;

    uint32_t version = kVersion;
    uint32_t counter = 0;
    uint32_t flags = kFlagDirect;
    std::string server;
    std::string bypass;
    std::string autoConfig;
    std::string remainder;
};

/// Reads a value. False when it is too short for its own lengths (nothing outside
/// the bytes is read); *blob is then unspecified.
RAVLIN_EXPORT bool ParseConnectionSettings(std::string_view bytes, ConnectionSettingsBlob* blob);

/// The value's bytes: the fixed fields, the texts and the remainder.
RAVLIN_EXPORT std::string SerializeConnectionSettings(const ConnectionSettingsBlob& blob);

/// The leading part of a value as this system writes it: version 60, the counter, flags
/// 3 with a server text and 1 without, the server text and two empty texts.
RAVLIN_EXPORT std::string ConnectionSettingsTemplate(uint32_t counter, std::string_view server);
