#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/SettingsStore.h"
#include "ravlin_export.h"

/// The browsers' proxy settings in the registry store: the settings key of the user's
/// or the machine's hive, the binary value of every connection, two policies, and a
/// backup of all of it (with the desktop's own proxy settings) under the product's key.
/// Hives are the files named by HivePath. Functions return 0 on success and 1 on
/// failure unless said otherwise; a function that fails leaves the hives it writes as
/// they were, because each call's writes to a hive form one transaction.

/// Settings key of either hive, and its connections subkey.
inline constexpr const char* kInternetSettingsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr const char* kConnectionsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
/// Dial-up connections of the user's hive, one subkey each.
inline constexpr const char* kDialUpProfilesKey = "RemoteAccess\\Profile";
inline constexpr const char* kControlPanelPolicyKey = "Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel";
inline constexpr const char* kPerUserPolicyKey =
    "SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
/// The backup, in the machine hive.
inline constexpr const char* kProxyBackupKey = "Software\\Orvane\\Tessivar5\\Internet Settings";
inline constexpr const char* kProxyBackupUserKey = "Software\\Orvane\\Tessivar5\\Internet Settings\\current_user";
inline constexpr const char* kProxyBackupMachineKey = "Software\\Orvane\\Tessivar5\\Internet Settings\\local_machine";

/// A host this system writes into the server text: a name or IPv4 address of letters,
/// digits, ".", "-" and "_", or an IPv6 address in brackets; at most 255 bytes.
RAVLIN_EXPORT bool ValidProxyHost(std::string_view host);

/// Writes "ConnectionsTab" of the control panel policy (user's hive) when it differs.
RAVLIN_EXPORT int SetConnectionsTab(uint32_t value);
/// Writes "ProxySettingsPerUser" of the per-user policy (machine hive) when it differs.
RAVLIN_EXPORT int SetProxySettingsPerUser(uint32_t value);
/// On: the "Connections" tab hidden and the proxy settings per machine; off: the reverse.
RAVLIN_EXPORT int SetNoChange(bool flag);

/// The 32-bit value; def when it is missing or not a 32-bit value; 0 when the key
/// cannot be opened.
RAVLIN_EXPORT uint32_t GetRegistryDWORD(platform::Hive root, std::string_view key, std::string_view name, uint32_t def);

/// "ProxyEnable" and "ProxyServer" of the settings that apply (the user's unless the
/// per-user policy is 0). The server text with its terminator must fit in size bytes;
/// a longer text is a failure, never cut.
RAVLIN_EXPORT int GetProxySetting(int* enable, char* server, size_t size);
/// The same with the server text reduced to its host: the first entry only, the port
/// after the last ":" taken out into *port (0 without one), a leading "http=" dropped.
RAVLIN_EXPORT int GetProxySetting(int* enable, char* server, size_t size, int* port);

/// Points the settings of one hive at host:port, or turns the proxy off when host is
/// null or empty: the settings key's values and every connection value, with a new
/// direct-or-proxy value for each dial-up connection without one. Then the desktop's
/// own proxy settings follow. A bad host or a port outside 1..65535 is a failure with
/// nothing written.
RAVLIN_EXPORT int SetProxySetting(platform::Hive root, const char* host, int port);
/// The same on the user's hive and then the machine's; the results or-ed.
RAVLIN_EXPORT int SetProxySetting(const char* host, int port);

/// Copies every binary value of the source key into the target key.
RAVLIN_EXPORT int CopyRegistryBINARY(platform::Hive sourceRoot, std::string_view sourceKey, platform::Hive targetRoot,
                                     std::string_view targetKey);
/// Copies "ProxyEnable", "ProxyServer", "ProxyOverride" and "AutoConfigURL" byte for
/// byte; a value missing in the source is removed from the target.
RAVLIN_EXPORT int CopyProxySetting(platform::Hive sourceRoot, std::string_view sourceKey, platform::Hive targetRoot,
                                   std::string_view targetKey);
/// Copies one 32-bit value (def when missing); returns the value, 0 when a key fails.
RAVLIN_EXPORT uint32_t CopyRegistryDWORD(platform::Hive sourceRoot, std::string_view sourceKey, std::string_view name,
                                         platform::Hive targetRoot, std::string_view targetKey, uint32_t def);
/// Writes a direct-connection value under the name of every dial-up connection.
RAVLIN_EXPORT int StoreDialUpDefaults(platform::Hive root, std::string_view key);
/// Removes "ProxySettingsPerUser", "ProxyEnable", "ProxyServer", "ProxyOverride" and
/// "AutoConfigURL" from the key; a value that is already missing is no failure.
RAVLIN_EXPORT int DeleteProxySetting(platform::Hive root, std::string_view key);

/// Replaces the backup with the settings now: both hives and the desktop.
RAVLIN_EXPORT int StoreProxySetting();
/// Puts the backup back byte for byte (values missing from it are removed), then the
/// desktop's values. Fails, changing nothing, when there is no backup. The backup stays.
RAVLIN_EXPORT int RestoreProxySetting();
/// Removes the backup; no backup is no failure.
RAVLIN_EXPORT int DeleteStoreProxySetting();
