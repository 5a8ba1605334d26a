#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>

#include "config/ConfigrationFile.h"
#include "ravlin_export.h"

/// Where a key's value lives: a member of the singleton, or a field of every group's record.
enum class ConfigScope { Global, Group };

/// The member's type. It also fixes how the value is written: "%d", "%u", "%ld" or the text.
enum class ConfigType { Int, Unsigned, Long, Text };

/// How a value read from zpf.cnf is taken. Numbers are read as atoi reads them (Long
/// ones as strtol): leading blanks skipped, trailing text ignored, no digits give 0.
enum class ConfigRule {
    AsRead, ///< stored as read; a text is assigned even when empty
    ZeroGivesDefault, ///< a number that reads as 0 gives the key's default
    BelowOneGivesZero, ///< a number below 1 gives 0
    EmptyKeeps, ///< an empty text leaves the member unchanged
};

/// Whether WriteZpfCnf writes the key. A key that is not written is still read and
/// shown by `zpfctl config`, and disappears from the file at the next save.
enum class ConfigWrite { Written, NotWritten };

/// One key of zpf.cnf. Exactly one member pointer is set, the one matching scope and
/// type; Member<T> reaches it without a switch.
struct RAVLIN_EXPORT ConfigKey {
    constexpr ConfigKey(const char* key, int ConfigrationFileSigleton::*member, int def,
                        ConfigRule readRule = ConfigRule::AsRead, ConfigWrite write = ConfigWrite::Written)
        : ConfigKey(key, ConfigScope::Global, ConfigType::Int, def, "", readRule, write)
    {
        globalInt = member;
    }
    constexpr ConfigKey(const char* key, unsigned int ConfigrationFileSigleton::*member, unsigned int def,
                        ConfigRule readRule = ConfigRule::AsRead, ConfigWrite write = ConfigWrite::Written)
        : ConfigKey(key, ConfigScope::Global, ConfigType::Unsigned, def, "", readRule, write)
    {
        globalUnsigned = member;
    }
    constexpr ConfigKey(const char* key, long ConfigrationFileSigleton::*member, long def,
                        ConfigRule readRule = ConfigRule::AsRead, ConfigWrite write = ConfigWrite::Written)
        : ConfigKey(key, ConfigScope::Global, ConfigType::Long, def, "", readRule, write)
    {
        globalLong = member;
    }
    constexpr ConfigKey(const char* key, std::string ConfigrationFileSigleton::*member, const char* def,
                        ConfigRule readRule = ConfigRule::AsRead, ConfigWrite write = ConfigWrite::Written)
        : ConfigKey(key, ConfigScope::Global, ConfigType::Text, 0, def, readRule, write)
    {
        globalText = member;
    }
    constexpr ConfigKey(const char* key, int ConfigrationFileData::*member, int def)
        : ConfigKey(key, ConfigScope::Group, ConfigType::Int, def, "", ConfigRule::AsRead, ConfigWrite::Written)
    {
        groupInt = member;
    }
    constexpr ConfigKey(const char* key, long ConfigrationFileData::*member, long def)
        : ConfigKey(key, ConfigScope::Group, ConfigType::Long, def, "", ConfigRule::AsRead, ConfigWrite::Written)
    {
        groupLong = member;
    }

    /// The value as zpf.cnf holds it, without the key. A group key of a group that has
    /// no record gives the default.
    std::string Format(const ConfigrationFileSigleton& cnf, int group) const;
    /// The default as zpf.cnf would hold it.
    std::string DefaultText() const;
    /// Why the value cannot be written as the key's line, as a text to show; "" when it
    /// can: a line end in it would start a key of its own.
    std::string ValueError(std::string_view value) const;
    /// Takes a value as the reader does, by the key's rule (the group is ignored for a
    /// global key). False when the group has no record.
    bool Read(ConfigrationFileSigleton& cnf, int group, const std::string& value) const;

    /// The member in cnf (in the group's record for a group key); nullptr when T is not
    /// the key's type or the group has no record.
    template <class T> T* Member(ConfigrationFileSigleton& cnf, int group) const { return memberIn<T>(cnf, group); }
    template <class T> const T* Member(const ConfigrationFileSigleton& cnf, int group) const
    {
        return memberIn<const T>(cnf, group);
    }

    const char* name;
    ConfigScope scope;
    ConfigType type;
    /// Numbers of every type.
    long defaultNumber;
    /// Texts only.
    const char* defaultText;
    ConfigRule rule;
    bool written;

    int ConfigrationFileSigleton::*globalInt = nullptr;
    unsigned int ConfigrationFileSigleton::*globalUnsigned = nullptr;
    long ConfigrationFileSigleton::*globalLong = nullptr;
    std::string ConfigrationFileSigleton::*globalText = nullptr;
    int ConfigrationFileData::*groupInt = nullptr;
    long ConfigrationFileData::*groupLong = nullptr;

private:
    constexpr ConfigKey(const char* key, ConfigScope s, ConfigType t, long defNumber, const char* defText,
                        ConfigRule readRule, ConfigWrite write)
        : name(key)
        , scope(s)
        , type(t)
        , defaultNumber(defNumber)
        , defaultText(defText)
        , rule(readRule)
        , written(write == ConfigWrite::Written)
    {
    }

    // T is const-qualified when reached through a const singleton.
    template <class T, class Cnf> T* memberIn(Cnf& cnf, int group) const
    {
        using U = std::remove_const_t<T>;
        if (scope == ConfigScope::Global) {
            U ConfigrationFileSigleton::*m = nullptr;
            if constexpr (std::is_same_v<U, int>)
                m = globalInt;
            else if constexpr (std::is_same_v<U, unsigned int>)
                m = globalUnsigned;
            else if constexpr (std::is_same_v<U, long>)
                m = globalLong;
            else if constexpr (std::is_same_v<U, std::string>)
                m = globalText;
            return m ? &(cnf.*m) : nullptr;
        }
        U ConfigrationFileData::*m = nullptr;
        if constexpr (std::is_same_v<U, int>)
            m = groupInt;
        else if constexpr (std::is_same_v<U, long>)
            m = groupLong;
        if (!m || group < 0 || static_cast<std::size_t>(group) >= cnf.cnfData.size())
            return nullptr;
        return &(cnf.cnfData[static_cast<std::size_t>(group)].*m);
    }
};

/// Every key of zpf.cnf but the category keys, which come from the category list.
/// The order is the file's: the global keys as WriteZpfCnf writes them, then the global
/// keys it does not write (in the order `zpfctl config` shows them), then the group
/// keys as every group's block holds them.
inline constexpr ConfigKey kConfigKeys[] = {
    {"Filtering", &ConfigrationFileSigleton::Filtering, 1},
    {"Port", &ConfigrationFileSigleton::Port, 3036, ConfigRule::ZeroGivesDefault},
    {"Proxy", &ConfigrationFileSigleton::Proxy, "", ConfigRule::EmptyKeeps},
    {"ProxyPort", &ConfigrationFileSigleton::ProxyPort, 0, ConfigRule::BelowOneGivesZero},
    {"ProxyUsername", &ConfigrationFileSigleton::ProxyUsername, "", ConfigRule::EmptyKeeps},
    {"ProxyPassword", &ConfigrationFileSigleton::ProxyPassword, "", ConfigRule::EmptyKeeps},
    {"LogSize", &ConfigrationFileSigleton::LogSize, 1000},
    {"CheckDuration", &ConfigrationFileSigleton::CheckDuration, 0},
    {"RebootAt", &ConfigrationFileSigleton::RebootAt, ""},
    {"AutoUpdateAt", &ConfigrationFileSigleton::AutoUpdateAt, ""},
    {"AutoUpdateAtBoot", &ConfigrationFileSigleton::AutoUpdateAtBoot, 0},
    {"TestMode", &ConfigrationFileSigleton::TestMode, 0},
    {"LogFlag", &ConfigrationFileSigleton::LogFlag, 0},
    {"LogPath", &ConfigrationFileSigleton::LogPath, ""},
    {"zpfAuthorization", &ConfigrationFileSigleton::zpfAuthorization, 0},
    {"ProgramIfMatch", &ConfigrationFileSigleton::ProgramIfMatch, ""},
    {"ListenBacklog", &ConfigrationFileSigleton::ListenBacklog, 10},
    {"MaxSession", &ConfigrationFileSigleton::MaxSession, 30},
    {"MaxFileNo", &ConfigrationFileSigleton::MaxFileNo, 0},
    {"MsgNoSignal", &ConfigrationFileSigleton::MsgNoSignal, 1},
    {"ConnectTimeout", &ConfigrationFileSigleton::ConnectTimeout, 120},
    {"SetProxy", &ConfigrationFileSigleton::SetProxy, 0},
    {"NoConnectionsTab", &ConfigrationFileSigleton::NoConnectionsTab, 0},
    {"ConnectPorts", &ConfigrationFileSigleton::ConnectPorts, "443", ConfigRule::EmptyKeeps},
    {"MaxClientSession", &ConfigrationFileSigleton::MaxClientSession, 256, ConfigRule::ZeroGivesDefault},
    // Read, and filled from Proxy when absent, but never written.
    {"HTTPSProxy", &ConfigrationFileSigleton::HTTPSProxy, "", ConfigRule::EmptyKeeps, ConfigWrite::NotWritten},
    {"HTTPSProxyPort", &ConfigrationFileSigleton::HTTPSProxyPort, 0, ConfigRule::BelowOneGivesZero,
     ConfigWrite::NotWritten},
    {"FTPProxy", &ConfigrationFileSigleton::FTPProxy, "", ConfigRule::EmptyKeeps, ConfigWrite::NotWritten},
    {"FTPProxyPort", &ConfigrationFileSigleton::FTPProxyPort, 0, ConfigRule::BelowOneGivesZero,
     ConfigWrite::NotWritten},
    {"SleepTime", &ConfigrationFileSigleton::SleepTime, 20, ConfigRule::AsRead, ConfigWrite::NotWritten},

    {"Block", &ConfigrationFileData::Block, 1},
    {"BlockLog", &ConfigrationFileData::BlockLog, 1},
    {"AccessLog", &ConfigrationFileData::AccessLog, 0},
    {"URLBlockFilter", &ConfigrationFileData::URLBlockFilter, 1},
    {"ExtensionBlockFilter", &ConfigrationFileData::ExtensionBlockFilter, 1},
    {"AccessControlURL", &ConfigrationFileData::AccessControlURL, 0},
    {"UploadNoFilteringURL", &ConfigrationFileData::UploadNoFilteringURL, 1},
    {"DownloadNoFilteringURL", &ConfigrationFileData::DownloadNoFilteringURL, 1},
    {"UploadReplaceFilter", &ConfigrationFileData::UploadReplaceFilter, 1},
    {"DownloadReplaceFilter", &ConfigrationFileData::DownloadReplaceFilter, 1},
    {"UploadBlockFilter", &ConfigrationFileData::UploadBlockFilter, 1},
    {"PageBlockFilter", &ConfigrationFileData::PageBlockFilter, 1},
    {"UserFilter", &ConfigrationFileData::UserFilter, 1},
    {"UserNoFilteringURL", &ConfigrationFileData::UserNoFilteringURL, 1},
    {"UserAccessControlURL", &ConfigrationFileData::UserAccessControlURL, 0},
    {"MessageFlag", &ConfigrationFileData::MessageFlag, 0},
    {"MessageCode", &ConfigrationFileData::MessageCode, 0},
    {"FilteringSize", &ConfigrationFileData::FilteringSize, 0},
    {"DownloadSize", &ConfigrationFileData::DownloadSize, 0},
};

/// The key with exactly this name (case-sensitive), or nullptr.
constexpr const ConfigKey* FindConfigKey(std::string_view name)
{
    for (const ConfigKey& key : kConfigKeys) {
        if (name == key.name)
            return &key;
    }
    return nullptr;
}
