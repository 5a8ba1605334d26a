#pragma once

#include <string>
#include <vector>

#include "ravlin_export.h"

class GroupList;

/// One proxy user account. Copyable.
class RAVLIN_EXPORT CPassWord {
public:
    CPassWord() = default;
    /// Parses a passwd line (SetRecord). Without a group list the configuration
    /// singleton's list resolves the group name.
    explicit CPassWord(const char* line, const GroupList* groups = nullptr) { SetRecord(line, groups); }

    /// Parses "id:password:class;group" or the short form "id:password;group" (class 1).
    /// An unknown group name gives group -1; a line without ":" gives an empty id and
    /// password.
    void SetRecord(const char* line, const GroupList* groups = nullptr);
    /// id + ":" + password.
    std::string ID() const { return id + ":" + password; }

    std::string id;
    std::string password;
    int accessClass = 0;
    int group = 0;
};

/// The accounts of the file passwd, in file order. CheckAccessClass only reads and may
/// run on many threads at once; accounts must not change meanwhile.
class RAVLIN_EXPORT CPassWordData {
public:
    static constexpr int kLineLimit = 511; // characters per passwd line, line end included

    /// groups resolves group numbers and names; without one the configuration
    /// singleton's list is used.
    explicit CPassWordData(const GroupList* groups = nullptr)
        : m_groups(groups)
    {
    }
    void SetGroupList(const GroupList* groups) { m_groups = groups; }

    /// The file; baseDirectory() + "passwd" unless set.
    std::string Path() const;
    void SetPath(const std::string& path) { m_path = path; }

    /// Replaces the accounts by the file's. Lines without ":" name no account and are
    /// skipped, as are lines too long for the reader. Returns true when the file cannot
    /// be opened (the list is then empty).
    [[nodiscard]] bool Initialize();
    /// Writes every account as "id:password:class;group"; an account whose group is
    /// unknown gets an empty group name. Returns true when the file cannot be written
    /// or an account cannot (CheckAccounts; the file is then left as it was).
    [[nodiscard]] bool WriteData() const;
    /// Why the account cannot be written to passwd, as a text to show; "" when it can:
    /// no ":", ";" or control character in its id or password (each would split the
    /// line differently when read back) and a line within kLineLimit.
    std::string AccountError(const CPassWord& account) const;
    /// AccountError of the first account that has one; "" when none does.
    std::string CheckAccounts() const;

    /// Looks an account up. byId: the first account whose id equals credentials. Else
    /// credentials are "user:password" (split at the first ":" only) and both must
    /// match exactly. Sets *group to 0, then, when found, to the account's group and
    /// returns its access class; returns -1 when none matches.
    int CheckAccessClass(const char* credentials, int* group, bool byId) const;

    std::vector<CPassWord> accounts;

private:
    const GroupList& groups() const;
    /// The account's passwd line, line end included.
    std::string line(const CPassWord& account) const;

    const GroupList* m_groups;
    std::string m_path;
};
