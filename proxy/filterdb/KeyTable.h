#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/LargeMemory.h"

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
    uint16_t m_inline[kInline]{};
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
    struct BuildItem;

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

    /// Fills an empty table and seals it, as Insert of each text in order with this
    /// number and then Seal would, without building the insertable form. A table that
    /// is not empty takes the texts one Insert at a time.
    void Build(std::span<const std::string_view> texts, uint16_t number);

    /// Working memory of Build, for a caller that builds many tables in turn.
    class BuildScratch {
    public:
        BuildScratch();
        ~BuildScratch();
        BuildScratch(const BuildScratch&) = delete;
        BuildScratch& operator=(const BuildScratch&) = delete;

    private:
        friend class KeyTable;
        std::vector<char> m_bytes;
        std::vector<BuildItem> m_items;
    };
    void Build(std::span<const std::string_view> texts, uint16_t number, BuildScratch& scratch);

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
    static constexpr size_t kMaxKeyBytes = size_t{1} << 31;
    static constexpr size_t kMaxEntries = size_t{1} << 28;

private:
    // Sealing writes every element, so sizing one leaves its elements as the fresh
    // memory has them instead of clearing them first.
    template <class T> struct SealAllocator : platform::LargeAllocator<T> {
        template <class U> struct rebind {
            using other = SealAllocator<U>;
        };
        SealAllocator() = default;
        template <class U> SealAllocator(const SealAllocator<U>&) noexcept { }
        template <class U> void construct(U*) noexcept { }
        template <class U, class... Args> void construct(U* p, Args&&... args)
        {
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
        }
    };
    // A million keys fill tens of megabytes that a lookup visits at random: large
    // pages spare most of the address translation misses.
    template <class T> using LargeVector = std::vector<T, SealAllocator<T>>;

    // The first 16 key bytes as two big-endian words, zero-padded: keys hold no NUL,
    // so comparing these orders keys as comparing their bytes would, and only keys
    // that share 16 bytes need their bytes compared.
    struct Prefix {
        uint64_t hi = 0;
        uint64_t lo = 0;
        auto operator<=>(const Prefix&) const = default;
    };

    // Build form: sorted blocks of entries; each block keeps its own key bytes, so a
    // search stays within a few nearby cache lines.
    struct BuildEntry {
        Prefix prefix;
        uint32_t offset; // into the block's key bytes
        uint32_t length;
        uint32_t list; // 0: the one number is `first`; else 1 + index into m_lists
        uint16_t first;
        bool nested;
    };
    struct Block {
        std::vector<BuildEntry> entries;
        std::vector<char> keys; // bytes of removed entries stay until the block is split
    };
    struct Cursor {
        size_t block; // position in m_order
        size_t index;
    };

    // Sealed form: the prefixes in table order, which a search reads, and beside them
    // one small record per entry, read once the search has ended. The prefix holds a
    // key's first 16 bytes; only the bytes past them are kept, end to end in table order.
    struct Slot {
        uint32_t tail; // offset into m_tails of the key bytes past the first 16
        // 1 + index of the longest key of the same nested run that is a proper prefix
        // of this one, 0 for none; top bit: nested
        uint32_t link;
        uint32_t numbers; // the one number, or kPooled | index into m_pool (count, numbers...)
        uint16_t length; // key length, kLongKey from kLongKey on: then the tails tell it
        uint16_t shortest; // shortest key length on the link chain, at most kLongKey
    };
    static constexpr uint32_t kNestedBit = 0x80000000u;
    static constexpr uint32_t kPooled = 0x80000000u;
    static constexpr uint16_t kLongKey = 0xffff;
    static constexpr size_t kFanout = 16; // each index tier samples every 16th item of the one below

    std::string_view buildKey(const Block& b, const BuildEntry& e) const
    {
        return {b.keys.data() + e.offset, e.length};
    }
    std::string_view buildKey(const Cursor& c) const { return buildKey(blockAt(c.block), at(c)); }
    Block& blockAt(size_t position) { return m_store[m_order[position]]; }
    const Block& blockAt(size_t position) const { return m_store[m_order[position]]; }
    KeyNumbers buildNumbers(const BuildEntry& e) const;
    bool buildContains(const BuildEntry& e, uint16_t number) const;
    void buildAdd(BuildEntry& e, uint16_t number);
    int compareBuild(const Block& b, const BuildEntry& e, const Prefix& prefix, std::string_view key) const;
    size_t findBlock(const Prefix& prefix, std::string_view key) const;
    Cursor buildUpperBound(const Prefix& prefix, std::string_view key) const;
    bool prev(Cursor& c) const;
    bool isFirst(const Cursor& c) const { return c.block == 0 && c.index == 0; }
    BuildEntry& at(const Cursor& c) { return blockAt(c.block).entries[c.index]; }
    const BuildEntry& at(const Cursor& c) const { return blockAt(c.block).entries[c.index]; }
    Cursor insertAt(Cursor pos, BuildEntry entry, std::string_view key);
    void splitBlock(size_t block, size_t keep);
    uint32_t newBlock();
    void eraseAt(const Cursor& c);
    void dropCovered(Cursor changed, std::string_view key);
    std::optional<KeyNumbers> lookupBuild(std::string_view text, bool exact) const;
    void buildTiers();
    // Sized storage for a sealed table of count entries and tailBytes bytes past the
    // first 16 of each key.
    void allocateSealed(size_t count, size_t tailBytes);
    // Writes entry i of the sealed table, the entries before it being written;
    // `chain` holds the previous entry and its prefix entries of its nested run,
    // longest last.
    void appendSealed(size_t i, size_t& tail, const Prefix& prefix, std::string_view key, uint32_t numbers, bool nested,
                      std::vector<uint32_t>& chain);
    void finishSealed(std::vector<uint16_t> pool);
    void unseal();

    size_t slotLength(size_t i) const
    {
        const Slot& s = m_slots[i];
        if (s.length != kLongKey)
            return s.length;
        return 16 + (i + 1 < m_count ? m_slots[i + 1].tail : m_tails.size()) - s.tail;
    }
    std::string_view slotTail(size_t i, size_t length) const
    {
        return length > 16 ? std::string_view(m_tails.data() + m_slots[i].tail, length - 16) : std::string_view();
    }
    std::string slotKey(size_t i) const;
    // Whether the key of sealed entry i is a prefix of key, whose prefix is given.
    bool slotStarts(size_t i, const Prefix& prefix, std::string_view key) const;
    KeyNumbers slotNumbers(size_t i) const;
    void addSlotNumbers(size_t i, KeyNumbers& out) const;
    size_t sealedUpperBound(const Prefix& prefix, std::string_view key) const;
    std::optional<KeyNumbers> lookupSealed(std::string_view text, bool exact) const;

    static Prefix prefixOf(std::string_view key);
    // Whether a key with prefix p and length n can be a prefix of a key with prefix q,
    // judged from the first 16 bytes; when n > 16 the rest still has to be compared.
    static bool mayStart(const Prefix& p, size_t n, const Prefix& q);

    bool m_sealed = false;
    size_t m_count = 0;
    size_t m_keyBytes = 0; // live key bytes

    std::vector<Block> m_store; // blocks stay where they were made; emptied ones are reused
    std::vector<uint32_t> m_order; // the blocks in key order, as indexes into m_store
    std::vector<uint32_t> m_free; // emptied blocks
    std::vector<Prefix> m_blockPrefix; // prefix of each block's first entry, in key order
    size_t m_hint = 0; // block of the last insert: file order tends to stay near it
    std::vector<std::vector<uint16_t>> m_lists;

    LargeVector<Prefix> m_prefixes;
    LargeVector<Slot> m_slots;
    LargeVector<char> m_tails;
    std::vector<std::vector<Prefix>> m_tiers; // m_tiers[0]: every 16th entry, [1]: every 16th of those, ...
    std::vector<uint32_t> m_tierTails; // where the tails of each entry of m_tiers[0] start
    std::vector<uint16_t> m_pool;
};
