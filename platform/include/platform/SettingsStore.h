#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

/// A store of keys and typed values shaped like the Windows registry, kept in SQLite
/// files ("hives"). Keys form a tree addressed by paths whose parts are separated by
/// backslashes; key and value names compare without regard to ASCII case and keep the
/// spelling they were created with. Every write is a transaction, so a crash never
/// leaves a half-written value, and several processes may use one hive at once (a
/// writer waits up to the busy time-out for another process's write to finish).
///
/// Hive files:
/// - machine hive: <program directory>/registry.db, or $ZPF_MACHINE_HIVE when set;
/// - user hive: $XDG_CONFIG_HOME/zpf/registry.db (else ~/.config/zpf/registry.db), or
///   $ZPF_USER_HIVE when set.
/// A new hive file is created readable and writable by its owner only.
///
/// A store and the keys opened from it share one connection: use them from one thread
/// at a time. Separate stores (in one process or in several) may be used concurrently.
namespace platform {

enum class Hive { LocalMachine, CurrentUser };

/// Value types, numbered as the registry numbers them. Data is kept as raw bytes.
enum class ValueType : uint32_t {
    None = 0,
    String = 1,
    ExpandString = 2,
    Binary = 3,
    Dword = 4,
    MultiString = 7,
    Qword = 11,
};

enum class SettingsStatus {
    Ok,
    NotFound, ///< no such key or value, or an enumeration index past the end
    AccessDenied, ///< a write through a key opened for reading
    HasSubkeys, ///< a key that still has subkeys cannot be deleted
    InvalidArgument, ///< bad path, name or size, or a transaction call out of order
    Busy, ///< another process held the hive longer than the busy time-out
    Corrupt, ///< the file is not a hive or is damaged; it is left untouched
    Incompatible, ///< the hive was written by a newer layout
    IoError, ///< the file cannot be created, opened, read or written
    NotOpen, ///< the store or key is closed
};

/// A short English description of a status.
const char* SettingsStatusText(SettingsStatus status);

enum class SettingsAccess { Read, ReadWrite };

struct SettingsValue {
    std::string name;
    ValueType type = ValueType::None;
    std::string data;
};

/// The file of a hive before any override a caller makes: the environment variable
/// when set and not empty, else the default named above. programDir is used for the
/// machine hive only. Returns an empty path when no home directory can be found.
std::string DefaultHivePath(Hive hive, const std::string& programDir);

/// Bounds on what the store accepts.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxKeyDepth = 512;
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kMaxValueSize = 1024 * 1024;

/// True for a key or value name the store takes: at most `limit` bytes, no NUL byte.
bool ValidSettingsName(std::string_view name, size_t limit);

/// Splits a key path at backslashes; empty parts (doubled or edge backslashes) are
/// ignored. Returns false for a part that is too long or holds a NUL byte, or a path
/// deeper than kMaxKeyDepth.
bool SplitSettingsPath(std::string_view path, std::vector<std::string_view>& parts);

namespace detail {
struct HiveConnection;
}

class SettingsKey;

/// One open hive. Closing the store does not invalidate keys opened from it.
class SettingsStore {
public:
    static constexpr int kDefaultBusyTimeoutMs = 5000;

    SettingsStore();
    ~SettingsStore();
    SettingsStore(SettingsStore&&) noexcept;
    SettingsStore& operator=(SettingsStore&&) noexcept;
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    /// Opens the hive file, creating it (and its directory) when missing. A file that is
    /// not a hive gives Corrupt and is not changed.
    SettingsStatus Open(const std::string& path, int busyTimeoutMs = kDefaultBusyTimeoutMs);
    /// Closes the store; an open transaction is rolled back.
    void Close();
    bool IsOpen() const { return m_conn != nullptr; }

    /// Opens the key, creating every missing part of the path (keyClass is recorded for
    /// keys it creates). An empty path is the root key.
    SettingsStatus CreateKey(std::string_view path, SettingsAccess access, SettingsKey* key,
                             std::string_view keyClass = {});
    /// Opens an existing key; NotFound when it is missing.
    SettingsStatus OpenKey(std::string_view path, SettingsAccess access, SettingsKey* key);
    /// Deletes a key and its values; HasSubkeys when it still has subkeys (not recursive).
    SettingsStatus DeleteKey(std::string_view path);

    /// Groups the writes of this store and its keys into one transaction. Begin takes the
    /// hive's write lock at once (waiting up to the busy time-out), so a read-modify-write
    /// between Begin and Commit cannot lose another process's write.
    SettingsStatus Begin();
    SettingsStatus Commit();
    SettingsStatus Rollback();

private:
    std::shared_ptr<detail::HiveConnection> m_conn;
    bool m_inTransaction = false;
};

/// An open key. Values are read from the hive at every call, so writes by other stores
/// and processes are seen.
class SettingsKey {
public:
    SettingsKey();
    ~SettingsKey();
    SettingsKey(SettingsKey&&) noexcept;
    SettingsKey& operator=(SettingsKey&&) noexcept;
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    bool IsOpen() const { return m_conn != nullptr; }
    /// The path the key was opened with.
    const std::string& Path() const { return m_path; }
    void Close();

    /// The value's type and raw bytes.
    SettingsStatus QueryValue(std::string_view name, ValueType* type, std::string* data) const;
    /// A String or ExpandString value without its terminator (cut at the first NUL byte).
    SettingsStatus QueryString(std::string_view name, std::string* text) const;
    /// A Dword value (4 bytes, little-endian); InvalidArgument for another type or size.
    SettingsStatus QueryDword(std::string_view name, uint32_t* value) const;

    /// Creates or replaces the value; a replaced value keeps its place in the enumeration.
    SettingsStatus SetValue(std::string_view name, ValueType type, std::string_view data);
    /// A String value holding the text and its terminator.
    SettingsStatus SetString(std::string_view name, std::string_view text);
    SettingsStatus SetDword(std::string_view name, uint32_t value);
    SettingsStatus SetBinary(std::string_view name, std::string_view bytes);
    SettingsStatus DeleteValue(std::string_view name);

    /// The index-th value in creation order; NotFound past the end.
    SettingsStatus EnumValue(uint32_t index, SettingsValue* value) const;
    /// The index-th subkey name in case-insensitive name order; NotFound past the end.
    SettingsStatus EnumSubkey(uint32_t index, std::string* name) const;

    /// Every write is already durable when it returns; this only checks the key.
    SettingsStatus Flush();

private:
    friend class SettingsStore;
    std::shared_ptr<detail::HiveConnection> m_conn;
    int64_t m_id = 0;
    SettingsAccess m_access = SettingsAccess::Read;
    std::string m_path;
};

/// One hive as the code that reads and writes settings sees it, addressed by key path
/// and value name, so that code can be tested against a fake. Each call behaves as the
/// key operation of the same name on the key at keyPath (NotFound when the key is
/// missing); SetValue creates the key.
class SettingsHive {
public:
    virtual ~SettingsHive() = default;
    virtual SettingsStatus CreateKey(std::string_view keyPath) = 0;
    /// Not recursive: HasSubkeys while the key has subkeys.
    virtual SettingsStatus DeleteKey(std::string_view keyPath) = 0;
    virtual SettingsStatus QueryValue(std::string_view keyPath, std::string_view name, ValueType* type,
                                      std::string* data) = 0;
    virtual SettingsStatus SetValue(std::string_view keyPath, std::string_view name, ValueType type,
                                    std::string_view data) = 0;
    virtual SettingsStatus DeleteValue(std::string_view keyPath, std::string_view name) = 0;
    virtual SettingsStatus EnumValue(std::string_view keyPath, uint32_t index, SettingsValue* value) = 0;
    virtual SettingsStatus EnumSubkey(std::string_view keyPath, uint32_t index, std::string* name) = 0;
};

/// The real hive: a SettingsStore file. Every call opens the key afresh.
class StoreSettingsHive final : public SettingsHive {
public:
    SettingsStatus Open(const std::string& path) { return m_store.Open(path); }

    SettingsStatus CreateKey(std::string_view keyPath) override;
    SettingsStatus DeleteKey(std::string_view keyPath) override;
    SettingsStatus QueryValue(std::string_view keyPath, std::string_view name, ValueType* type,
                              std::string* data) override;
    SettingsStatus SetValue(std::string_view keyPath, std::string_view name, ValueType type,
                            std::string_view data) override;
    SettingsStatus DeleteValue(std::string_view keyPath, std::string_view name) override;
    SettingsStatus EnumValue(std::string_view keyPath, uint32_t index, SettingsValue* value) override;
    SettingsStatus EnumSubkey(std::string_view keyPath, uint32_t index, std::string* name) override;

private:
    SettingsStore m_store;
};

} // namespace platform
