// The path-addressed hive over a SettingsStore.
#include "platform/SettingsStore.h"

namespace platform {

SettingsStatus StoreSettingsHive::CreateKey(std::string_view keyPath)
{
    SettingsKey key;
    return m_store.CreateKey(keyPath, SettingsAccess::ReadWrite, &key);
}

SettingsStatus StoreSettingsHive::DeleteKey(std::string_view keyPath) { return m_store.DeleteKey(keyPath); }

SettingsStatus StoreSettingsHive::QueryValue(std::string_view keyPath, std::string_view name, ValueType* type,
                                             std::string* data)
{
    SettingsKey key;
    SettingsStatus s = m_store.OpenKey(keyPath, SettingsAccess::Read, &key);
    return s == SettingsStatus::Ok ? key.QueryValue(name, type, data) : s;
}

SettingsStatus StoreSettingsHive::SetValue(std::string_view keyPath, std::string_view name, ValueType type,
                                           std::string_view data)
{
    SettingsKey key;
    SettingsStatus s = m_store.CreateKey(keyPath, SettingsAccess::ReadWrite, &key);
    return s == SettingsStatus::Ok ? key.SetValue(name, type, data) : s;
}

SettingsStatus StoreSettingsHive::DeleteValue(std::string_view keyPath, std::string_view name)
{
    SettingsKey key;
    SettingsStatus s = m_store.OpenKey(keyPath, SettingsAccess::ReadWrite, &key);
    return s == SettingsStatus::Ok ? key.DeleteValue(name) : s;
}

SettingsStatus StoreSettingsHive::EnumValue(std::string_view keyPath, uint32_t index, SettingsValue* value)
{
    SettingsKey key;
    SettingsStatus s = m_store.OpenKey(keyPath, SettingsAccess::Read, &key);
    return s == SettingsStatus::Ok ? key.EnumValue(index, value) : s;
}

SettingsStatus StoreSettingsHive::EnumSubkey(std::string_view keyPath, uint32_t index, std::string* name)
{
    SettingsKey key;
    SettingsStatus s = m_store.OpenKey(keyPath, SettingsAccess::Read, &key);
    return s == SettingsStatus::Ok ? key.EnumSubkey(index, name) : s;
}

} // namespace platform
