// The registry-like settings store on SQLite: hive files, keys, typed values and
// transactions shared safely between processes.
#include "platform/SettingsStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <algorithm>
#include <vector>

#include "platform/ProgramDirectory.h"

namespace platform {

namespace detail {
struct HiveConnection {
    sqlite3* db = nullptr;
    ~HiveConnection()
    {
        if (db)
            sqlite3_close_v2(db);
    }
};
} // namespace detail

namespace {

constexpr int64_t kRootId = 1;
constexpr int kLayoutVersion = 1;

const char* const kSchema = "CREATE TABLE IF NOT EXISTS keys("
                            " id INTEGER PRIMARY KEY,"
                            " parent INTEGER REFERENCES keys(id),"
                            " name TEXT NOT NULL COLLATE NOCASE,"
                            " class TEXT NOT NULL DEFAULT '',"
                            " UNIQUE(parent, name));"
                            "CREATE TABLE IF NOT EXISTS vals("
                            " id INTEGER PRIMARY KEY,"
                            " key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
                            " name TEXT NOT NULL COLLATE NOCASE,"
                            " type INTEGER NOT NULL,"
                            " data BLOB NOT NULL,"
                            " UNIQUE(key, name));"
                            "INSERT OR IGNORE INTO keys(id, parent, name) VALUES(1, NULL, '');";

SettingsStatus fromSqlite(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
        return SettingsStatus::Ok;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return SettingsStatus::Busy;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return SettingsStatus::Corrupt;
    case SQLITE_CONSTRAINT:
        // Only a write under a key deleted meanwhile breaks a constraint.
        return SettingsStatus::NotFound;
    case SQLITE_TOOBIG:
    case SQLITE_RANGE:
    case SQLITE_MISUSE:
        return SettingsStatus::InvalidArgument;
    default:
        return SettingsStatus::IoError;
    }
}

/// One prepared statement, finalized on scope exit.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_rc == SQLITE_OK; }
    int prepareResult() const { return m_rc; }
    void bind(int i, int64_t v) { sqlite3_bind_int64(m_stmt, i, v); }
    void bind(int i, std::string_view text)
    {
        // An empty view may have no data pointer, which would bind NULL instead of "".
        sqlite3_bind_text(m_stmt, i, text.empty() ? "" : text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void bindBlob(int i, std::string_view bytes)
    {
        // A zero-length blob still has to be a blob, not NULL.
        sqlite3_bind_blob(m_stmt, i, bytes.empty() ? "" : bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
    }
    int step() { return sqlite3_step(m_stmt); }
    int64_t columnInt(int c) { return sqlite3_column_int64(m_stmt, c); }
    std::string columnBytes(int c)
    {
        const void* p = sqlite3_column_blob(m_stmt, c);
        int n = sqlite3_column_bytes(m_stmt, c);
        return p && n > 0 ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_rc;
};

int exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

/// A write that must be all-or-nothing: its own transaction (taking the write lock at
/// once) outside a caller's transaction, a savepoint inside one.
class WriteScope {
public:
    explicit WriteScope(sqlite3* db)
        : m_db(db)
    {
        m_nested = !sqlite3_get_autocommit(db);
        m_rc = exec(db, m_nested ? "SAVEPOINT settings_write" : "BEGIN IMMEDIATE");
    }
    ~WriteScope()
    {
        if (m_rc == SQLITE_OK && !m_done) {
            if (m_nested) {
                exec(m_db, "ROLLBACK TO settings_write");
                exec(m_db, "RELEASE settings_write");
            } else {
                exec(m_db, "ROLLBACK");
            }
        }
    }
    WriteScope(const WriteScope&) = delete;
    WriteScope& operator=(const WriteScope&) = delete;

    int beginResult() const { return m_rc; }
    int commit()
    {
        int rc = exec(m_db, m_nested ? "RELEASE settings_write" : "COMMIT");
        if (rc == SQLITE_OK)
            m_done = true;
        return rc;
    }

private:
    sqlite3* m_db;
    bool m_nested = false;
    bool m_done = false;
    int m_rc;
};

/// Looks up one child key; 0 when missing. *rc gets the SQLite result.
int64_t findChild(sqlite3* db, int64_t parent, std::string_view name, int* rc)
{
    Statement st(db, "SELECT id FROM keys WHERE parent = ?1 AND name = ?2");
    if (!st.ok()) {
        *rc = st.prepareResult();
        return 0;
    }
    st.bind(1, parent);
    st.bind(2, name);
    int r = st.step();
    if (r == SQLITE_ROW) {
        *rc = SQLITE_OK;
        return st.columnInt(0);
    }
    *rc = r == SQLITE_DONE ? SQLITE_OK : r;
    return 0;
}

/// Walks the path; returns the id of the deepest key found and how many parts matched.
int walk(sqlite3* db, const std::vector<std::string_view>& parts, int64_t* id, size_t* matched)
{
    *id = kRootId;
    *matched = 0;
    for (const auto& part : parts) {
        int rc;
        int64_t child = findChild(db, *id, part, &rc);
        if (rc != SQLITE_OK)
            return rc;
        if (child == 0)
            return SQLITE_OK;
        *id = child;
        ++*matched;
    }
    return SQLITE_OK;
}

std::string homeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    struct passwd pw;
    struct passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

/// Makes the hive's directory (owner-only when we create it) and an owner-only empty
/// file, so a password kept in the hive is not readable by other users.
void prepareFile(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path p(path);
    if (p.has_parent_path() && !std::filesystem::exists(p.parent_path(), ec)) {
        if (std::filesystem::create_directories(p.parent_path(), ec))
            std::filesystem::permissions(p.parent_path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::replace, ec);
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
}

} // namespace

bool ValidSettingsName(std::string_view name, size_t limit)
{
    return name.size() <= limit && name.find('\0') == std::string_view::npos;
}

bool SplitSettingsPath(std::string_view path, std::vector<std::string_view>& parts)
{
    parts.clear();
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = std::min(path.find('\\', start), path.size());
        std::string_view part = path.substr(start, end - start);
        if (!part.empty()) {
            if (!ValidSettingsName(part, kMaxKeyNameLength) || parts.size() >= kMaxKeyDepth)
                return false;
            parts.push_back(part);
        }
        start = end + 1;
    }
    return true;
}

const char* SettingsStatusText(SettingsStatus status)
{
    switch (status) {
    case SettingsStatus::Ok:
        return "success";
    case SettingsStatus::NotFound:
        return "not found";
    case SettingsStatus::AccessDenied:
        return "key opened for reading only";
    case SettingsStatus::HasSubkeys:
        return "key has subkeys";
    case SettingsStatus::InvalidArgument:
        return "invalid argument";
    case SettingsStatus::Busy:
        return "settings store is locked by another process";
    case SettingsStatus::Corrupt:
        return "settings store file is damaged or not a settings store";
    case SettingsStatus::Incompatible:
        return "settings store was written by a newer version";
    case SettingsStatus::IoError:
        return "settings store file cannot be opened or written";
    case SettingsStatus::NotOpen:
        return "settings store is not open";
    }
    return "unknown status";
}

std::string DefaultHivePath(Hive hive, const std::string& programDir)
{
    if (hive == Hive::LocalMachine) {
        if (const char* env = std::getenv("ZPF_MACHINE_HIVE"); env && *env)
            return env;
        return WithTrailingSlash(programDir) + "registry.db";
    }
    if (const char* env = std::getenv("ZPF_USER_HIVE"); env && *env)
        return env;
    // Only an absolute XDG_CONFIG_HOME counts, as the base directory rules say.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        return WithTrailingSlash(xdg) + "zpf/registry.db";
    std::string home = homeDirectory();
    if (home.empty())
        return {};
    return WithTrailingSlash(home) + ".config/zpf/registry.db";
}

// ---- SettingsStore ----

SettingsStore::SettingsStore() = default;
SettingsStore::~SettingsStore() { Close(); }
SettingsStore::SettingsStore(SettingsStore&& other) noexcept
    : m_conn(std::move(other.m_conn))
    , m_inTransaction(std::exchange(other.m_inTransaction, false))
{
}
SettingsStore& SettingsStore::operator=(SettingsStore&& other) noexcept
{
    if (this != &other) {
        Close();
        m_conn = std::move(other.m_conn);
        m_inTransaction = std::exchange(other.m_inTransaction, false);
    }
    return *this;
}

SettingsStatus SettingsStore::Open(const std::string& path, int busyTimeoutMs)
{
    Close();
    if (path.empty() || path.find('\0') != std::string::npos)
        return SettingsStatus::InvalidArgument;
    prepareFile(path);
    auto conn = std::make_shared<detail::HiveConnection>();
    int rc = sqlite3_open_v2(path.c_str(), &conn->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK)
        return fromSqlite(rc) == SettingsStatus::Corrupt ? SettingsStatus::Corrupt : SettingsStatus::IoError;
    sqlite3* db = conn->db;
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyTimeoutMs < 0 ? 0 : busyTimeoutMs);
    if ((rc = exec(db, "PRAGMA foreign_keys = ON")) != SQLITE_OK)
        return fromSqlite(rc);
    // WAL lets readers go on while another process writes. The first statement that
    // touches the file also tells a damaged or foreign file apart.
    if ((rc = exec(db, "PRAGMA journal_mode = WAL")) != SQLITE_OK)
        return fromSqlite(rc);
    if ((rc = exec(db, "PRAGMA synchronous = FULL")) != SQLITE_OK)
        return fromSqlite(rc);

    auto layoutVersion = [db](int* version) {
        Statement st(db, "PRAGMA user_version");
        if (!st.ok())
            return st.prepareResult();
        int r = st.step();
        if (r != SQLITE_ROW)
            return r;
        *version = static_cast<int>(st.columnInt(0));
        return SQLITE_OK;
    };
    int version = 0;
    if ((rc = layoutVersion(&version)) != SQLITE_OK)
        return fromSqlite(rc);
    if (version > kLayoutVersion)
        return SettingsStatus::Incompatible;
    if (version < kLayoutVersion) {
        WriteScope scope(db);
        if (scope.beginResult() != SQLITE_OK)
            return fromSqlite(scope.beginResult());
        // Another process may have laid the hive out while we waited for the lock.
        if ((rc = layoutVersion(&version)) != SQLITE_OK)
            return fromSqlite(rc);
        if (version < kLayoutVersion) {
            if ((rc = exec(db, kSchema)) != SQLITE_OK)
                return fromSqlite(rc);
            if ((rc = exec(db, "PRAGMA user_version = 1")) != SQLITE_OK)
                return fromSqlite(rc);
        }
        if ((rc = scope.commit()) != SQLITE_OK)
            return fromSqlite(rc);
    }
    m_conn = std::move(conn);
    return SettingsStatus::Ok;
}

void SettingsStore::Close()
{
    if (m_conn && m_inTransaction)
        exec(m_conn->db, "ROLLBACK");
    m_inTransaction = false;
    m_conn.reset();
}

SettingsStatus SettingsStore::CreateKey(std::string_view path, SettingsAccess access, SettingsKey* key,
                                        std::string_view keyClass)
{
    if (!m_conn)
        return SettingsStatus::NotOpen;
    std::vector<std::string_view> parts;
    if (!key || !SplitSettingsPath(path, parts) || !ValidSettingsName(keyClass, kMaxKeyNameLength))
        return SettingsStatus::InvalidArgument;
    sqlite3* db = m_conn->db;
    int64_t id;
    size_t matched;
    int rc = walk(db, parts, &id, &matched);
    if (rc != SQLITE_OK)
        return fromSqlite(rc);
    if (matched < parts.size()) {
        WriteScope scope(db);
        if (scope.beginResult() != SQLITE_OK)
            return fromSqlite(scope.beginResult());
        // Walk again under the write lock: another process may have created some parts.
        if ((rc = walk(db, parts, &id, &matched)) != SQLITE_OK)
            return fromSqlite(rc);
        for (size_t i = matched; i < parts.size(); ++i) {
            Statement st(db, "INSERT INTO keys(parent, name, class) VALUES(?1, ?2, ?3)");
            if (!st.ok())
                return fromSqlite(st.prepareResult());
            st.bind(1, id);
            st.bind(2, parts[i]);
            st.bind(3, keyClass);
            if ((rc = st.step()) != SQLITE_DONE)
                return fromSqlite(rc);
            id = sqlite3_last_insert_rowid(db);
        }
        if ((rc = scope.commit()) != SQLITE_OK)
            return fromSqlite(rc);
    }
    key->Close();
    key->m_conn = m_conn;
    key->m_id = id;
    key->m_access = access;
    key->m_path = std::string(path);
    return SettingsStatus::Ok;
}

SettingsStatus SettingsStore::OpenKey(std::string_view path, SettingsAccess access, SettingsKey* key)
{
    if (!m_conn)
        return SettingsStatus::NotOpen;
    std::vector<std::string_view> parts;
    if (!key || !SplitSettingsPath(path, parts))
        return SettingsStatus::InvalidArgument;
    int64_t id;
    size_t matched;
    int rc = walk(m_conn->db, parts, &id, &matched);
    if (rc != SQLITE_OK)
        return fromSqlite(rc);
    if (matched < parts.size())
        return SettingsStatus::NotFound;
    key->Close();
    key->m_conn = m_conn;
    key->m_id = id;
    key->m_access = access;
    key->m_path = std::string(path);
    return SettingsStatus::Ok;
}

SettingsStatus SettingsStore::DeleteKey(std::string_view path)
{
    if (!m_conn)
        return SettingsStatus::NotOpen;
    std::vector<std::string_view> parts;
    if (!SplitSettingsPath(path, parts) || parts.empty())
        return SettingsStatus::InvalidArgument; // the root key cannot be deleted
    sqlite3* db = m_conn->db;
    WriteScope scope(db);
    if (scope.beginResult() != SQLITE_OK)
        return fromSqlite(scope.beginResult());
    int64_t id;
    size_t matched;
    int rc = walk(db, parts, &id, &matched);
    if (rc != SQLITE_OK)
        return fromSqlite(rc);
    if (matched < parts.size())
        return SettingsStatus::NotFound;
    {
        Statement st(db, "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1");
        if (!st.ok())
            return fromSqlite(st.prepareResult());
        st.bind(1, id);
        rc = st.step();
        if (rc == SQLITE_ROW)
            return SettingsStatus::HasSubkeys;
        if (rc != SQLITE_DONE)
            return fromSqlite(rc);
    }
    Statement del(db, "DELETE FROM keys WHERE id = ?1");
    if (!del.ok())
        return fromSqlite(del.prepareResult());
    del.bind(1, id);
    if ((rc = del.step()) != SQLITE_DONE)
        return fromSqlite(rc);
    return fromSqlite(scope.commit());
}

SettingsStatus SettingsStore::Begin()
{
    if (!m_conn)
        return SettingsStatus::NotOpen;
    if (m_inTransaction)
        return SettingsStatus::InvalidArgument;
    int rc = exec(m_conn->db, "BEGIN IMMEDIATE");
    if (rc != SQLITE_OK)
        return fromSqlite(rc);
    m_inTransaction = true;
    return SettingsStatus::Ok;
}

SettingsStatus SettingsStore::Commit()
{
    if (!m_conn)
        return SettingsStatus::NotOpen;
    if (!m_inTransaction)
        return SettingsStatus::InvalidArgument;
    int rc = exec(m_conn->db, "COMMIT");
    if (rc != SQLITE_OK) {
        // Leave nothing half-done: a failed commit is rolled back.
        exec(m_conn->db, "ROLLBACK");
        m_inTransaction = false;
        return fromSqlite(rc);
    }
    m_inTransaction = false;
    return SettingsStatus::Ok;
}

SettingsStatus SettingsStore::Rollback()
{
    if (!m_conn)
        return SettingsStatus::NotOpen;
    if (!m_inTransaction)
        return SettingsStatus::InvalidArgument;
    m_inTransaction = false;
    return fromSqlite(exec(m_conn->db, "ROLLBACK"));
}

// ---- SettingsKey ----

SettingsKey::SettingsKey() = default;
SettingsKey::~SettingsKey() = default;
SettingsKey::SettingsKey(SettingsKey&&) noexcept = default;
SettingsKey& SettingsKey::operator=(SettingsKey&&) noexcept = default;

void SettingsKey::Close()
{
    m_conn.reset();
    m_id = 0;
    m_path.clear();
}

SettingsStatus SettingsKey::QueryValue(std::string_view name, ValueType* type, std::string* data) const
{
    if (!m_conn)
        return SettingsStatus::NotOpen;
    if (!ValidSettingsName(name, kMaxValueNameLength))
        return SettingsStatus::InvalidArgument;
    Statement st(m_conn->db, "SELECT type, data FROM vals WHERE key = ?1 AND name = ?2");
    if (!st.ok())
        return fromSqlite(st.prepareResult());
    st.bind(1, m_id);
    st.bind(2, name);
    int rc = st.step();
    if (rc == SQLITE_DONE)
        return SettingsStatus::NotFound;
    if (rc != SQLITE_ROW)
        return fromSqlite(rc);
    if (type)
        *type = static_cast<ValueType>(st.columnInt(0));
    if (data)
        *data = st.columnBytes(1);
    return SettingsStatus::Ok;
}

SettingsStatus SettingsKey::QueryString(std::string_view name, std::string* text) const
{
    ValueType type = ValueType::None;
    std::string data;
    SettingsStatus s = QueryValue(name, &type, &data);
    if (s != SettingsStatus::Ok)
        return s;
    if (type != ValueType::String && type != ValueType::ExpandString)
        return SettingsStatus::InvalidArgument;
    if (auto nul = data.find('\0'); nul != std::string::npos)
        data.resize(nul);
    if (text)
        *text = std::move(data);
    return SettingsStatus::Ok;
}

SettingsStatus SettingsKey::QueryDword(std::string_view name, uint32_t* value) const
{
    ValueType type = ValueType::None;
    std::string data;
    SettingsStatus s = QueryValue(name, &type, &data);
    if (s != SettingsStatus::Ok)
        return s;
    if (type != ValueType::Dword || data.size() != 4)
        return SettingsStatus::InvalidArgument;
    if (value) {
        const auto* b = reinterpret_cast<const unsigned char*>(data.data());
        *value = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
                 static_cast<uint32_t>(b[3]) << 24;
    }
    return SettingsStatus::Ok;
}

SettingsStatus SettingsKey::SetValue(std::string_view name, ValueType type, std::string_view data)
{
    if (!m_conn)
        return SettingsStatus::NotOpen;
    if (m_access != SettingsAccess::ReadWrite)
        return SettingsStatus::AccessDenied;
    if (!ValidSettingsName(name, kMaxValueNameLength) || data.size() > kMaxValueSize)
        return SettingsStatus::InvalidArgument;
    Statement st(m_conn->db, "INSERT INTO vals(key, name, type, data) VALUES(?1, ?2, ?3, ?4) "
                             "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
    if (!st.ok())
        return fromSqlite(st.prepareResult());
    st.bind(1, m_id);
    st.bind(2, name);
    st.bind(3, static_cast<int64_t>(type));
    st.bindBlob(4, data);
    int rc = st.step();
    return rc == SQLITE_DONE ? SettingsStatus::Ok : fromSqlite(rc);
}

SettingsStatus SettingsKey::SetString(std::string_view name, std::string_view text)
{
    std::string data(text);
    data.push_back('\0');
    return SetValue(name, ValueType::String, data);
}

SettingsStatus SettingsKey::SetDword(std::string_view name, uint32_t value)
{
    char b[4] = {static_cast<char>(value & 0xff), static_cast<char>((value >> 8) & 0xff),
                 static_cast<char>((value >> 16) & 0xff), static_cast<char>((value >> 24) & 0xff)};
    return SetValue(name, ValueType::Dword, std::string_view(b, 4));
}

SettingsStatus SettingsKey::SetBinary(std::string_view name, std::string_view bytes)
{
    return SetValue(name, ValueType::Binary, bytes);
}

SettingsStatus SettingsKey::DeleteValue(std::string_view name)
{
    if (!m_conn)
        return SettingsStatus::NotOpen;
    if (m_access != SettingsAccess::ReadWrite)
        return SettingsStatus::AccessDenied;
    if (!ValidSettingsName(name, kMaxValueNameLength))
        return SettingsStatus::InvalidArgument;
    Statement st(m_conn->db, "DELETE FROM vals WHERE key = ?1 AND name = ?2");
    if (!st.ok())
        return fromSqlite(st.prepareResult());
    st.bind(1, m_id);
    st.bind(2, name);
    int rc = st.step();
    if (rc != SQLITE_DONE)
        return fromSqlite(rc);
    return sqlite3_changes(m_conn->db) > 0 ? SettingsStatus::Ok : SettingsStatus::NotFound;
}

SettingsStatus SettingsKey::EnumValue(uint32_t index, SettingsValue* value) const
{
    if (!m_conn)
        return SettingsStatus::NotOpen;
    Statement st(m_conn->db, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
    if (!st.ok())
        return fromSqlite(st.prepareResult());
    st.bind(1, m_id);
    st.bind(2, static_cast<int64_t>(index));
    int rc = st.step();
    if (rc == SQLITE_DONE)
        return SettingsStatus::NotFound;
    if (rc != SQLITE_ROW)
        return fromSqlite(rc);
    if (value) {
        value->name = st.columnBytes(0);
        value->type = static_cast<ValueType>(st.columnInt(1));
        value->data = st.columnBytes(2);
    }
    return SettingsStatus::Ok;
}

SettingsStatus SettingsKey::EnumSubkey(uint32_t index, std::string* name) const
{
    if (!m_conn)
        return SettingsStatus::NotOpen;
    Statement st(m_conn->db, "SELECT name FROM keys WHERE parent = ?1 ORDER BY name COLLATE NOCASE, id "
                             "LIMIT 1 OFFSET ?2");
    if (!st.ok())
        return fromSqlite(st.prepareResult());
    st.bind(1, m_id);
    st.bind(2, static_cast<int64_t>(index));
    int rc = st.step();
    if (rc == SQLITE_DONE)
        return SettingsStatus::NotFound;
    if (rc != SQLITE_ROW)
        return fromSqlite(rc);
    if (name)
        *name = st.columnBytes(0);
    return SettingsStatus::Ok;
}

SettingsStatus SettingsKey::Flush()
{
    if (!m_conn)
        return SettingsStatus::NotOpen;
    Statement st(m_conn->db, "SELECT 1 FROM keys WHERE id = ?1");
    if (!st.ok())
        return fromSqlite(st.prepareResult());
    st.bind(1, m_id);
    int rc = st.step();
    if (rc == SQLITE_ROW)
        return SettingsStatus::Ok;
    return rc == SQLITE_DONE ? SettingsStatus::NotFound : fromSqlite(rc);
}

} // namespace platform
