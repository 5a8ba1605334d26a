#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ravlin_export.h"

/// What a value typed for a key of zpf.cnf must look like. The settings pages and
/// `zpfctl set` both check through here, so both doors refuse the same values with the
/// same words.
enum class SettingKind {
    Flag, ///< a check box: 0 or 1
    Number, ///< a decimal number from minimum to maximum
    OptionalNumber, ///< empty (stored as 0) or a decimal number from minimum to maximum
    Text, ///< any text of at most maxLength bytes
    TimeOfDay, ///< empty or "h:m", hour 0 to 23 and minute 0 to 59, stored as typed
    Directory, ///< empty or an existing directory, at most maxLength bytes
};

struct SettingRule {
    const char* key;
    SettingKind kind;
    long minimum = 0;
    long maximum = 0;
    std::size_t maxLength = 0;
};

/// The rule of a key of zpf.cnf; a key without a rule of its own gets one from its type
/// (a number of its type's range that is not negative, or a text). Null for a name that
/// is no key.
RAVLIN_EXPORT const SettingRule* FindSettingRule(std::string_view key);

/// "" when the value may be stored for the key; else a message that names the field and
/// what it takes. field is the label the user saw (the key's name when empty).
RAVLIN_EXPORT std::string SettingError(std::string_view key, std::string_view value, std::string_view field = {},
                                       bool japanese = true);

/// Reads "h:m" (two decimal numbers joined by ":") as minutes after midnight. upTo24
/// admits 24:00 as the end of a day. Nothing when the text does not read or is out of range.
RAVLIN_EXPORT std::optional<int> ReadTimeOfDay(std::string_view text, bool upTo24);

/// "" when a group may be given this name from a settings form; else why not. Such names
/// are ASCII letters and digits only, so every file and log field reads them back; taken
/// says another group holds the name already.
RAVLIN_EXPORT std::string GroupNameFormError(std::string_view name, bool taken, bool japanese = true);

/// "" when an account may be called id (trimmed by the caller): ASCII letters, digits
/// and "_", not empty; taken says another account holds the id already, compared
/// without regard to case.
RAVLIN_EXPORT std::string AccountIdError(std::string_view id, bool taken, bool japanese = true);

/// "" when a schedule slot may run from start to end ("h:m" each, 0:00 to 24:00); a
/// start after the end runs across midnight into the next day. Else why not.
RAVLIN_EXPORT std::string SlotTimeError(std::string_view start, std::string_view end, bool japanese = true);

/// "" when the text is an address or a range of the IP lists, every field 0 to 255 and
/// a range's first address not above its last; else why not.
RAVLIN_EXPORT std::string IPEntryError(std::string_view text, bool japanese = true);
