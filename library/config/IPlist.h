#pragma once

#include <compare>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Socket.h" // in_addr
#include "ravlin_export.h"

class GroupList;

/// An IPv4 address as its four dotted-decimal fields, first field first. Compares
/// field by field.
class RAVLIN_EXPORT IP {
public:
    IP() = default;
    IP(unsigned char a, unsigned char b, unsigned char c, unsigned char d)
        : addr{a, b, c, d}
    {
    }
    IP(const IP& other) = default;
    /// A null pointer gives 0.0.0.0.
    explicit IP(const IP* other);
    /// The address's bytes in network order.
    explicit IP(const in_addr& address);
    IP& operator=(const IP& other) = default;

    auto operator<=>(const IP& other) const = default;
    bool operator==(const IP& other) const = default;

    /// Parses dotted text loosely: characters up to the first digit are skipped, each
    /// field is read like atoi and kept modulo 256, and fields after a missing "." keep
    /// their earlier values. Returns how many fields were set (0 to 4).
    int IPset(const char* text);
    /// "a.b.c.d".
    std::string IPstring() const;
    /// Whether the text is an address or a range "address-address" (four fields each;
    /// the numbers themselves are not range-checked).
    static bool IsValidIPExpression(const char* text);
    /// Reads exactly four decimal fields of 0 to 255 joined by "." and nothing else.
    static bool ReadStrict(std::string_view text, IP& ip);

    unsigned char addr[4] = {0, 0, 0, 0};
};

/// An inclusive range of addresses. A range whose from is above its to holds none.
class RAVLIN_EXPORT IPrange {
public:
    IPrange() = default;
    IPrange(const IP& first, const IP& last)
        : from(first)
        , to(last)
    {
    }
    IPrange(const IP* first, const IP* last)
        : from(first)
        , to(last)
    {
    }
    IPrange(unsigned char f1, unsigned char f2, unsigned char f3, unsigned char f4, unsigned char t1, unsigned char t2,
            unsigned char t3, unsigned char t4)
        : from(f1, f2, f3, f4)
        , to(t1, t2, t3, t4)
    {
    }
    IPrange(const IPrange& other) = default;
    IPrange& operator=(const IPrange& other) = default;

    bool operator==(const IPrange& other) const { return from == other.from && to == other.to; }
    bool operator!=(const IPrange& other) const { return !(*this == other); }
    /// Orders by from only.
    bool operator<(const IPrange& other) const { return from < other.from; }

    bool Contains(const IP& ip) const { return from <= ip && ip <= to; }
    /// The address alone when from equals to, else "from-to".
    std::string IPstring() const;
    /// Reads an address or "first-last" (blanks allowed around either) with
    /// IP::ReadStrict; false also when first is above last, a range holding nothing.
    static bool ReadStrict(std::string_view text, IPrange& range);

    IP from;
    IP to;
};

/// The IP restriction list (iplist.cnf): once active, only clients inside one of its
/// ranges are admitted. Checks only read and may run on many threads at once; the list
/// must not change meanwhile.
class RAVLIN_EXPORT IPlist {
public:
    /// Appends the range of a line ("a.b.c.d" or "a.b.c.d-e.f.g.h").
    void SetDataFromLine(const char* line);

    /// True when the address is admitted: the list is inactive, or a range covers it
    /// (overlapping ranges included).
    bool CheckIP(const IP& ip) const;
    bool CheckIP(const in_addr& address) const;
    /// Checks the peer of a connected socket; a peer that cannot be read is refused
    /// while the list is active.
    bool CheckIP(unsigned int socket) const;
    /// A range that covers the address, or null.
    const IPrange* FindRange(const IP& ip) const;

    /// Replaces the list by the file's ranges, sorted by their first address; every
    /// data line makes the list active. Returns 0, or 1 when the file cannot be opened
    /// (the list is then empty and inactive).
    [[nodiscard]] int ReadFile(const char* path);
    /// Writes one range per line. Returns true when the file cannot be written.
    [[nodiscard]] bool WriteFile(const char* path) const;

    void clear();
    size_t size() const { return m_ranges.size(); }
    bool empty() const { return m_ranges.empty(); }
    const IPrange& operator[](size_t i) const { return m_ranges[i]; }
    const std::vector<IPrange>& ranges() const { return m_ranges; }

    /// False until a data line has been read from the file: an inactive list admits all.
    bool active = false;

private:
    void rebuildIndex();

    std::vector<IPrange> m_ranges;
    // Lookup index: the ranges sorted by from, and for each position the range with the
    // highest to among it and those before it.
    std::vector<IPrange> m_sorted;
    std::vector<size_t> m_reach;
};

/// One entry of the IP policy list.
class RAVLIN_EXPORT IPData {
public:
    IPrange range;
    /// False: the range is exempt from filtering. True: group and authMode apply.
    bool filterClient = false;
    int group = 0;
    int authMode = 0;
};

/// The IP policy list (ippass.cnf). Lookups only read and may run on many threads at
/// once; the list must not change meanwhile.
class RAVLIN_EXPORT IPDatalist {
public:
    /// groups resolves group names; without one the configuration singleton's list is used.
    explicit IPDatalist(const GroupList* groups = nullptr)
        : m_groups(groups)
    {
    }
    void SetGroupList(const GroupList* groups) { m_groups = groups; }

    /// Appends the entry of a line: a range alone (exempt), or "range;group;mode".
    /// An unknown group name gives group 0.
    void SetDataFromLine(const char* line);

    /// Finds the first entry whose range holds the address. Found: stores its values
    /// through the pointers that are not null and returns true; else returns false and
    /// leaves the outputs alone.
    bool CheckIPData(const IP& ip, bool* filterClient, int* group, int* authMode) const;
    bool CheckIPData(const in_addr& address, bool* filterClient, int* group, int* authMode) const;
    /// Looks up the peer of a connected socket; false when it cannot be read.
    bool CheckIPData(unsigned int socket, bool* filterClient, int* group, int* authMode) const;
    const IPData* Find(const IP& ip) const;

    /// Replaces the list by the file's entries, sorted by their first address (entries
    /// with the same first address keep their file order). Returns 0, or 1 when the
    /// file cannot be opened (the list is then empty).
    [[nodiscard]] int ReadFile(const char* path);
    /// Writes one entry per line. Returns true when the file cannot be written.
    [[nodiscard]] bool WriteFile(const char* path) const;

    /// Orders the entries by their first address, as ReadFile does (entries with the same
    /// first address keep their order), so lookups answer as they will after a save.
    void SortByFirstAddress();

    void clear() { m_entries.clear(); }
    size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    const IPData& operator[](size_t i) const { return m_entries[i]; }
    const std::vector<IPData>& entries() const { return m_entries; }

private:
    const GroupList& groups() const;

    std::vector<IPData> m_entries;
    const GroupList* m_groups;
};
