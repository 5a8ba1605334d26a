// The administrator password of the configuration, kept in the machine hive of the
// registry store.
#include <string>

#include "common/RegistryHive.h"
#include "config/ConfigrationFile.h"
#include "platform/SettingsStore.h"
#include "platform/TextFile.h"

namespace {

const char* const kPasswordKey = "System\\CurrentControlSet\\control\\SecurityProviders\\Net";
const char* const kPasswordValue = "VT_L_PW";
// The reader's buffer: 255 characters and the terminator.
constexpr size_t kPasswordBuffer = 256;

bool openPasswordKey(platform::SettingsStore& hive, platform::SettingsAccess access, platform::SettingsKey& key)
{
    if (hive.Open(HivePath(platform::Hive::LocalMachine)) != platform::SettingsStatus::Ok)
        return false;
    // Created when missing; the value name doubles as the key's class.
    return hive.CreateKey(kPasswordKey, access, &key, kPasswordValue) == platform::SettingsStatus::Ok;
}

} // namespace

bool ConfigrationFileSigleton::ReadPassword()
{
    adminPassword.clear();
    // What a later SaveAll compares with: empty too when nothing could be read.
    m_storedPassword.clear();
    m_passwordKnown = true;
    // Reading never creates the hive: a directory without one simply has no password.
    if (!platform::PathExists(HivePath(platform::Hive::LocalMachine)))
        return true;
    platform::SettingsStore hive;
    platform::SettingsKey key;
    if (!openPasswordKey(hive, platform::SettingsAccess::Read, key))
        return true;
    platform::ValueType type;
    std::string data;
    if (key.QueryValue(kPasswordValue, &type, &data) != platform::SettingsStatus::Ok || data.size() > kPasswordBuffer)
        return true;
    if (auto nul = data.find('\0'); nul != std::string::npos)
        data.resize(nul);
    adminPassword = data;
    m_storedPassword = data;
    return false;
}

bool ConfigrationFileSigleton::WritePassword()
{
    SaveScope lock(*this);
    return !lock.held() || storePassword();
}

bool ConfigrationFileSigleton::storePassword()
{
    // A password the reader cannot take back (too long, or cut by a NUL byte) would
    // silently turn the protection off at the next start: refuse it instead.
    if (adminPassword.size() >= kPasswordBuffer || adminPassword.find('\0') != std::string::npos)
        return true;
    platform::SettingsStore hive;
    platform::SettingsKey key;
    if (!openPasswordKey(hive, platform::SettingsAccess::ReadWrite, key))
        return true;
    if (key.SetString(kPasswordValue, adminPassword) != platform::SettingsStatus::Ok)
        return true;
    m_storedPassword = adminPassword;
    m_passwordKnown = true;
    return false;
}
