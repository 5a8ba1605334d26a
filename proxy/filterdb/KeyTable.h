#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// A small ordered set of 16-bit key numbers: no duplicates, kept in the order they
/// were first added. Up to two numbers live inside the object without an allocation.
class KeyNumbers {
public:
    KeyNumbers() = default;
    explicit KeyNumbers(uint16_t number) { Add(number); }

    /// Appends number unless it is already present.
    void Add(uint16_t number);
    /// Appends every number of other that is not yet present, in other's order.
    void AddAll(const KeyNumbers& other);
    bool Contains(uint16_t number) const;
    /// True when every number of this set is also in other.
    bool IsSubsetOf(const KeyNumbers& other) const;

    size_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }
    uint16_t operator[](size_t i) const { return Values()[i]; }
    std::span<const uint16_t> Values() const
    {
        return m_size <= kInline ? std::span<const uint16_t>(m_inline, m_size) : std::span<const uint16_t>(m_more);
    }
    bool operator==(const KeyNumbers& other) const;

private:
    static constexpr size_t kInline = 2;
    uint32_t m_size = 0;
    uint16_t m_inline[kInline] {};
    std::vector<uint16_t> m_more; // every number, once there are more than kInline
};

/// One key of a KeyTable as seen from outside: the normalised key, its numbers, and
/// whether a key before it in the table was a prefix of it when it was inserted.
struct KeyEntry {
    std::string key;
    KeyNumbers numbers;
    bool nested = false;
};

/// The sorted table of lower-case URL keys of one key file or list.
///
/// Keys are normalised (a leading lower-case "http://" dropped, ASCII letters
/// lowered) and kept in byte order. An entry remembers whether an earlier entry was
/// a prefix of it at the time it was inserted; lookups walk back only across such
/// entries, so the order of insertion matters, and the table keeps exactly that
/// behaviour. Text is taken up to its first NUL byte, as the key files hold C text.
///
/// Build the table with Insert, then call Seal once: lookups are correct either way,
/// but a sealed table is compact and fast. After that the table is read-only and any
/// number of threads may call LookupKeys at once without locks.
class KeyTable {
public:
    KeyTable() = default;
    KeyTable(KeyTable&&) noexcept = default;
    KeyTable& operator=(KeyTable&&) noexcept = default;
    KeyTable(const KeyTable&) = delete;
    KeyTable& operator=(const KeyTable&) = delete;

    /// Adds text with number. A shorter key already holding the number makes the
    /// insert a no-op; longer keys that the new key covers are dropped. Returns true
    /// (and changes nothing) when the table would exceed its size limits.
    bool Insert(std::string_view text, uint16_t number);

    /// Numbers of every key that is a prefix of text (exact false) or of the key
    /// equal to text (exact true), longest key first. Null for a table without
    /// entries; an empty set when nothing matches.
    std::optional<KeyNumbers> LookupKeys(std::string_view text, bool exact) const;

    /// Packs the table into its compact read-only form. Inserting afterwards is
    /// allowed but unpacks it again.
    void Seal();
    bool IsSealed() const { return m_sealed; }

    size_t Size() const;
    bool Empty() const { return Size() == 0; }
    /// The entries in table order, for tests and diagnostics.
    std::vector<KeyEntry> Entries() const;
    /// Bytes held by the table's own storage (capacity, not just size).
    size_t MemoryBytes() const;

    /// The limits behind Insert's failure: total key bytes and entry count.
    static constexpr size_t kMaxKeyBytes = size_t {1} << 31;
    static constexpr size_t kMaxEntries = size_t {1} << 28;

private:
    // Build form: sorted blocks of entries whose keys live in an append-only arena.
    struct BuildEntry {
        uint64_t prefix; // first 8 key bytes, big-endian, zero-padded
        uint32_t offset; // into m_arena
        uint32_t length;
        uint32_t list; // 0: the one number is `first`; else 1 + index into m_lists
        uint16_t first;
        bool nested;
    };
    using Block = std::vector<BuildEntry>;
    struct Cursor {
        size_t block;
        size_t index;
    };

    // Sealed form: keys concatenated in table order; one slot per entry plus an end slot.
    struct Slot {
        uint32_t offset;   // key starts here; it ends where the next slot's key starts
        uint32_t parent;   // 1 + index of the longest key that is a proper prefix; 0 for none
        uint32_t run;      // index of the first entry of the nested run; top bit: nested
        uint32_t numbers;  // the one number, or kPooled | index into m_pool (count, numbers...)
    };
    static constexpr uint32_t kNestedBit = 0x80000000u;
    static constexpr uint32_t kPooled = 0x80000000u;

    std::string_view buildKey(const BuildEntry& e) const { return {m_arena.data() + e.offset, e.length}; }
    KeyNumbers buildNumbers(const BuildEntry& e) const;
    bool buildContains(const BuildEntry& e, uint16_t number) const;
    void buildAdd(BuildEntry& e, uint16_t number);
    int compareBuild(const BuildEntry& e, uint64_t prefix, std::string_view key) const;
    Cursor buildUpperBound(uint64_t prefix, std::string_view key) const;
    bool prev(Cursor& c) const;
    bool isFirst(const Cursor& c) const { return c.block == 0 && c.index == 0; }
    BuildEntry& at(const Cursor& c) { return m_blocks[c.block][c.index]; }
    const BuildEntry& at(const Cursor& c) const { return m_blocks[c.block][c.index]; }
    Cursor insertAt(Cursor pos, const BuildEntry& entry);
    void dropCovered(Cursor changed, std::string_view key);
    std::optional<KeyNumbers> lookupBuild(std::string_view text, bool exact) const;
    void unseal();

    std::string_view slotKey(size_t i) const
    {
        return {m_keys.data() + m_slots[i].offset, m_slots[i + 1].offset - m_slots[i].offset};
    }
    KeyNumbers slotNumbers(size_t i) const;
    void addSlotNumbers(size_t i, KeyNumbers& out) const;
    size_t sealedUpperBound(uint64_t prefix, std::string_view key) const;
    std::optional<KeyNumbers> lookupSealed(std::string_view text, bool exact) const;

    bool m_sealed = false;
    size_t m_count = 0;

    std::vector<char> m_arena;
    std::vector<Block> m_blocks;
    std::vector<std::vector<uint16_t>> m_lists;

    std::vector<char> m_keys;
    std::vector<Slot> m_slots;
    std::vector<uint64_t> m_prefixes;
    std::vector<uint16_t> m_pool;
};
