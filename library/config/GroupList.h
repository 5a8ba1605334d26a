#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ravlin_export.h"

/// One user group: its name (empty for the default group and for deleted groups).
class RAVLIN_EXPORT GroupData {
public:
    GroupData() = default;
    GroupData(const char* name, bool deleted) { SetGroup(name, deleted); }

    void SetGroup(const char* name, bool deleted);
    /// Exact, case-sensitive name comparison.
    bool operator==(const char* other) const { return name == (other ? other : ""); }

    std::string name;
    bool deleted = false;
};

/// The groups in their fixed order; a group's number is its index. Index 0 is the
/// default group. Deleted groups keep their index until the next load.
class RAVLIN_EXPORT GroupList {
public:
    GroupList();
    virtual ~GroupList() = default;

    /// Empties the list, adds the default group and, if path is not null, reads the
    /// names from the file. Returns 0, or 1 when the file cannot be opened.
    int InitGroupList(const char* path);
    /// Writes every named, not deleted group after the default one, one per line
    /// (CR LF on disk), replacing the file whole. Returns true when it cannot be written
    /// or a name cannot (CheckNames); the old file is then left as it was.
    [[nodiscard]] bool WriteGroupList(const char* path);
    /// Why a group cannot be called this, as a text to show; "" when it can. The name
    /// must read back the same from group.cnf and every file and log field that names
    /// groups: not empty, no blank at either end, no "#" or "%" first (a comment or a
    /// section line), no "," (a log field) or ";" (a field of passwd and ippass.cnf),
    /// no control character, at most kMaxNameLength bytes.
    static std::string NameError(std::string_view name);
    static constexpr size_t kMaxNameLength = 255;
    /// NameError of the first named, not deleted group that has one; "" when none does.
    std::string CheckNames() const;
    /// Index of the first group with exactly this name, or -1.
    int GetGroupNo(const char* name) const;
    /// Appends a group and returns false; returns true (nothing added) if the name exists.
    bool AddGroup(const char* name);
    /// Marks the entry deleted and empties its name; returns true for a bad index.
    bool DeleteGroup(int index);
    /// Name of a section line "%name%": empty unless the line begins with "%"; the
    /// text after it is cut before its last "%" (searched back to the second
    /// character), so a line without a closing "%" keeps its line end.
    static std::string GetGroupNameFromLine(const char* line);

    int GetGroupNum() const { return static_cast<int>(m_groups.size()); }
    int size() const { return GetGroupNum(); }
    const char* GetGroupName(int index) const { return m_groups[static_cast<size_t>(index)].name.c_str(); }
    GroupData& operator[](int index) { return m_groups[static_cast<size_t>(index)]; }
    const GroupData& operator[](int index) const { return m_groups[static_cast<size_t>(index)]; }
    void clear() { m_groups.clear(); }

private:
    std::vector<GroupData> m_groups;
};
