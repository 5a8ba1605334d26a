// The URL key table: an insertable form of sorted blocks, and a sealed form of flat
// arrays in which each entry knows its longest prefix entry, so a lookup is a binary
// search plus a walk along that prefix chain.
#include "filterdb/KeyTable.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kBlockMax = 256;

// A text in the form keys are kept in: up to the first NUL, a leading lower-case
// "http://" dropped, ASCII letters lowered. Short texts stay on the stack.
class NormalisedText {
public:
    explicit NormalisedText(std::string_view text)
    {
        if (const void* nul = std::memchr(text.data(), 0, text.size()))
            text = text.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - text.data()));
        if (text.substr(0, 7) == "http://")
            text.remove_prefix(7);
        char* out = m_inline;
        if (text.size() > sizeof(m_inline)) {
            m_heap.resize(text.size());
            out = m_heap.data();
        }
        for (size_t i = 0; i < text.size(); ++i) {
            const auto b = static_cast<unsigned char>(text[i]);
            out[i] = static_cast<char>(static_cast<unsigned>(b - 'A') < 26u ? b + ('a' - 'A') : b);
        }
        m_view = std::string_view(out, text.size());
    }
    NormalisedText(const NormalisedText&) = delete;
    NormalisedText& operator=(const NormalisedText&) = delete;

    std::string_view view() const { return m_view; }

private:
    char m_inline[512];
    std::string m_heap;
    std::string_view m_view;
};

// The first eight bytes as a big-endian number, zero-padded: since keys hold no NUL,
// comparing these numbers orders keys as comparing their bytes would.
uint64_t prefixOf(std::string_view key)
{
    unsigned char bytes[8] = {};
    std::memcpy(bytes, key.data(), std::min<size_t>(key.size(), 8));
    uint64_t v = 0;
    for (unsigned char b : bytes)
        v = (v << 8) | b;
    return v;
}

// Byte-order comparison of two keys whose prefixes are equal: equal prefixes mean
// either identical short keys or eight equal leading bytes, so those can be skipped.
int compareTail(std::string_view a, std::string_view b)
{
    const size_t skip = std::min<size_t>(a.size(), 8);
    return a.substr(skip).compare(b.substr(std::min(skip, b.size())));
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && std::memcmp(text.data(), prefix.data(), prefix.size()) == 0;
}

size_t commonPrefixLength(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

} // namespace

// ---- KeyNumbers ----

void KeyNumbers::Add(uint16_t number)
{
    if (Contains(number))
        return;
    if (m_size < kInline) {
        m_inline[m_size++] = number;
        return;
    }
    if (m_size == kInline)
        m_more.assign(m_inline, m_inline + kInline);
    m_more.push_back(number);
    ++m_size;
}

void KeyNumbers::AddAll(const KeyNumbers& other)
{
    for (uint16_t n : other.Values())
        Add(n);
}

bool KeyNumbers::Contains(uint16_t number) const
{
    const auto v = Values();
    return std::find(v.begin(), v.end(), number) != v.end();
}

bool KeyNumbers::IsSubsetOf(const KeyNumbers& other) const
{
    for (uint16_t n : Values())
        if (!other.Contains(n))
            return false;
    return true;
}

bool KeyNumbers::operator==(const KeyNumbers& other) const
{
    const auto a = Values();
    const auto b = other.Values();
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// ---- build form ----

KeyNumbers KeyTable::buildNumbers(const BuildEntry& e) const
{
    if (e.list == 0)
        return KeyNumbers(e.first);
    KeyNumbers out;
    for (uint16_t n : m_lists[e.list - 1])
        out.Add(n);
    return out;
}

bool KeyTable::buildContains(const BuildEntry& e, uint16_t number) const
{
    if (e.list == 0)
        return e.first == number;
    const auto& l = m_lists[e.list - 1];
    return std::find(l.begin(), l.end(), number) != l.end();
}

void KeyTable::buildAdd(BuildEntry& e, uint16_t number)
{
    if (e.list == 0) {
        m_lists.push_back({e.first});
        e.list = static_cast<uint32_t>(m_lists.size());
    }
    m_lists[e.list - 1].push_back(number);
}

int KeyTable::compareBuild(const BuildEntry& e, uint64_t prefix, std::string_view key) const
{
    if (e.prefix != prefix)
        return e.prefix < prefix ? -1 : 1;
    return compareTail(buildKey(e), key);
}

KeyTable::Cursor KeyTable::buildUpperBound(uint64_t prefix, std::string_view key) const
{
    if (m_blocks.empty())
        return {0, 0};
    // The last block whose first key is not greater than key holds the bound.
    size_t lo = 0;
    size_t hi = m_blocks.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (compareBuild(m_blocks[mid].front(), prefix, key) > 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    if (lo == 0)
        return {0, 0};
    const Block& b = m_blocks[lo - 1];
    const auto it = std::upper_bound(b.begin(), b.end(), 0, [&](int, const BuildEntry& e) {
        return compareBuild(e, prefix, key) > 0;
    });
    return {lo - 1, static_cast<size_t>(it - b.begin())};
}

bool KeyTable::prev(Cursor& c) const
{
    if (c.index > 0) {
        --c.index;
        return true;
    }
    if (c.block == 0)
        return false;
    --c.block;
    c.index = m_blocks[c.block].size() - 1;
    return true;
}

KeyTable::Cursor KeyTable::insertAt(Cursor pos, const BuildEntry& entry)
{
    if (m_blocks.empty()) {
        m_blocks.emplace_back().reserve(kBlockMax + 1);
        pos = {0, 0};
    }
    Block& b = m_blocks[pos.block];
    b.insert(b.begin() + static_cast<std::ptrdiff_t>(pos.index), entry);
    if (b.size() <= kBlockMax)
        return pos;

    // Appending in key order (the usual file order) leaves full blocks behind; any
    // other insert splits the block in halves.
    const bool append = pos.block + 1 == m_blocks.size() && pos.index + 1 == b.size();
    const size_t keep = append ? kBlockMax : b.size() / 2;
    Block tail;
    tail.reserve(kBlockMax + 1);
    tail.assign(b.begin() + static_cast<std::ptrdiff_t>(keep), b.end());
    b.resize(keep);
    m_blocks.insert(m_blocks.begin() + static_cast<std::ptrdiff_t>(pos.block + 1), std::move(tail));
    if (pos.index >= keep)
        return {pos.block + 1, pos.index - keep};
    return pos;
}

void KeyTable::dropCovered(Cursor changed, std::string_view key)
{
    const KeyNumbers covering = buildNumbers(at(changed));
    Cursor c {changed.block, changed.index + 1};
    for (;;) {
        if (c.block < m_blocks.size() && c.index == m_blocks[c.block].size())
            c = {c.block + 1, 0};
        if (c.block >= m_blocks.size())
            return;
        const BuildEntry& e = at(c);
        // Keys having key as a prefix sit right after it, so the first one that does
        // not have it ends the walk as surely as the first entry that is not nested.
        if (!e.nested || !startsWith(buildKey(e), key))
            return;
        if (!buildNumbers(e).IsSubsetOf(covering)) {
            ++c.index;
            continue;
        }
        Block& b = m_blocks[c.block];
        b.erase(b.begin() + static_cast<std::ptrdiff_t>(c.index));
        --m_count;
        if (b.empty())
            m_blocks.erase(m_blocks.begin() + static_cast<std::ptrdiff_t>(c.block));
    }
}

bool KeyTable::Insert(std::string_view text, uint16_t number)
{
    const NormalisedText norm(text);
    const std::string_view key = norm.view();
    if (m_sealed)
        unseal();
    if (m_arena.size() + key.size() > kMaxKeyBytes || m_count >= kMaxEntries)
        return true;

    const uint64_t prefix = prefixOf(key);
    const Cursor pos = buildUpperBound(prefix, key);
    bool nested = false;
    Cursor p = pos;
    if (prev(p)) {
        BuildEntry& before = at(p);
        if (buildKey(before) == key) {
            if (buildContains(before, number))
                return false;
            buildAdd(before, number);
            dropCovered(p, key);
            return false;
        }
        for (Cursor e = p;;) {
            const BuildEntry& entry = at(e);
            if (startsWith(key, buildKey(entry))) {
                nested = true;
                if (buildContains(entry, number))
                    return false; // a shorter key already gives this number
            }
            if (!entry.nested || isFirst(e))
                break;
            prev(e);
        }
    }

    const BuildEntry entry {prefix, static_cast<uint32_t>(m_arena.size()), static_cast<uint32_t>(key.size()), 0,
                            number, nested};
    m_arena.insert(m_arena.end(), key.begin(), key.end());
    const Cursor at = insertAt(pos, entry);
    ++m_count;
    dropCovered(at, key);
    return false;
}

std::optional<KeyNumbers> KeyTable::lookupBuild(std::string_view text, bool exact) const
{
    KeyNumbers result;
    Cursor c = buildUpperBound(prefixOf(text), text);
    if (!prev(c))
        return result;
    for (;;) {
        const BuildEntry& e = at(c);
        const std::string_view key = buildKey(e);
        if (exact ? key == text : startsWith(text, key))
            result.AddAll(buildNumbers(e));
        if (!e.nested || isFirst(c))
            break;
        prev(c);
    }
    return result;
}

// ---- sealed form ----

void KeyTable::Seal()
{
    if (m_sealed)
        return;
    size_t total = 0;
    for (const Block& b : m_blocks)
        for (const BuildEntry& e : b)
            total += e.length;

    std::vector<char> keys(total);
    std::vector<Slot> slots(m_count + 1);
    std::vector<uint64_t> prefixes(m_count);
    std::vector<uint16_t> pool;
    std::vector<uint32_t> chain; // the previous entry and its prefix entries, longest last
    size_t i = 0;
    size_t offset = 0;
    for (const Block& b : m_blocks) {
        for (const BuildEntry& e : b) {
            std::memcpy(keys.data() + offset, m_arena.data() + e.offset, e.length);
            const std::string_view key(keys.data() + offset, e.length);
            Slot& s = slots[i];
            s.offset = static_cast<uint32_t>(offset);
            prefixes[i] = e.prefix;
            if (e.list == 0) {
                s.numbers = e.first;
            } else {
                const auto& l = m_lists[e.list - 1];
                s.numbers = kPooled | static_cast<uint32_t>(pool.size());
                pool.push_back(static_cast<uint16_t>(l.size()));
                pool.insert(pool.end(), l.begin(), l.end());
            }
            const uint32_t run = (e.nested && i > 0) ? (slots[i - 1].run & ~kNestedBit) : static_cast<uint32_t>(i);
            s.run = run | (e.nested ? kNestedBit : 0);
            // Every key of the table that is a prefix of this one is a prefix of (or
            // equal to) the key before it, so the chain of that key has them all.
            while (!chain.empty()) {
                const uint32_t top = chain.back();
                const std::string_view topKey(keys.data() + slots[top].offset,
                                              slots[top + 1].offset - slots[top].offset);
                if (startsWith(key, topKey))
                    break;
                chain.pop_back();
            }
            s.parent = chain.empty() ? 0 : chain.back() + 1;
            chain.push_back(static_cast<uint32_t>(i));
            offset += e.length;
            ++i;
        }
    }
    slots[m_count].offset = static_cast<uint32_t>(offset);

    m_keys = std::move(keys);
    m_slots = std::move(slots);
    m_prefixes = std::move(prefixes);
    m_pool = std::move(pool);
    m_pool.shrink_to_fit();
    m_arena = {};
    m_blocks = {};
    m_lists = {};
    m_sealed = true;
}

void KeyTable::unseal()
{
    m_arena = std::move(m_keys);
    m_keys = {};
    m_blocks.clear();
    m_lists.clear();
    const size_t fill = kBlockMax * 3 / 4;
    for (size_t i = 0; i < m_count; ++i) {
        if (i % fill == 0)
            m_blocks.emplace_back().reserve(kBlockMax + 1);
        const Slot& s = m_slots[i];
        BuildEntry e {m_prefixes[i], s.offset, m_slots[i + 1].offset - s.offset, 0, 0, (s.run & kNestedBit) != 0};
        if (s.numbers & kPooled) {
            const uint32_t at = s.numbers & ~kPooled;
            m_lists.emplace_back(m_pool.begin() + at + 1, m_pool.begin() + at + 1 + m_pool[at]);
            e.list = static_cast<uint32_t>(m_lists.size());
        } else {
            e.first = static_cast<uint16_t>(s.numbers);
        }
        m_blocks.back().push_back(e);
    }
    m_slots = {};
    m_prefixes = {};
    m_pool = {};
    m_sealed = false;
}

void KeyTable::addSlotNumbers(size_t i, KeyNumbers& out) const
{
    const uint32_t n = m_slots[i].numbers;
    if (!(n & kPooled)) {
        out.Add(static_cast<uint16_t>(n));
        return;
    }
    const uint32_t at = n & ~kPooled;
    for (uint32_t k = 0; k < m_pool[at]; ++k)
        out.Add(m_pool[at + 1 + k]);
}

KeyNumbers KeyTable::slotNumbers(size_t i) const
{
    KeyNumbers out;
    addSlotNumbers(i, out);
    return out;
}

size_t KeyTable::sealedUpperBound(uint64_t prefix, std::string_view key) const
{
    size_t lo = 0;
    size_t n = m_prefixes.size();
    while (n > 0) {
        const size_t half = n / 2;
        const size_t mid = lo + half;
        const uint64_t p = m_prefixes[mid];
        const bool greater = p != prefix ? p > prefix : compareTail(slotKey(mid), key) > 0;
        if (greater) {
            n = half;
        } else {
            lo = mid + 1;
            n -= half + 1;
        }
    }
    return lo;
}

std::optional<KeyNumbers> KeyTable::lookupSealed(std::string_view text, bool exact) const
{
    KeyNumbers result;
    const size_t bound = sealedUpperBound(prefixOf(text), text);
    if (bound == 0)
        return result;
    const size_t last = bound - 1;
    const std::string_view lastKey = slotKey(last);
    if (exact) {
        if (lastKey == text)
            addSlotNumbers(last, result);
        return result;
    }
    // The entries a walk back from `last` would see end at the start of its nested
    // run; of those, the prefixes of text are the prefix chain of `last` cut to the
    // length both keys share.
    const size_t shared = commonPrefixLength(lastKey, text);
    const uint32_t runStart = m_slots[last].run & ~kNestedBit;
    for (size_t e = last + 1; e != 0 && e - 1 >= runStart; e = m_slots[e - 1].parent) {
        const size_t i = e - 1;
        if (m_slots[i + 1].offset - m_slots[i].offset <= shared)
            addSlotNumbers(i, result);
    }
    return result;
}

// ---- shared ----

std::optional<KeyNumbers> KeyTable::LookupKeys(std::string_view text, bool exact) const
{
    if (m_count == 0)
        return std::nullopt;
    const NormalisedText norm(text);
    return m_sealed ? lookupSealed(norm.view(), exact) : lookupBuild(norm.view(), exact);
}

size_t KeyTable::Size() const
{
    return m_count;
}

std::vector<KeyEntry> KeyTable::Entries() const
{
    std::vector<KeyEntry> out;
    out.reserve(m_count);
    if (m_sealed) {
        for (size_t i = 0; i < m_count; ++i)
            out.push_back({std::string(slotKey(i)), slotNumbers(i), (m_slots[i].run & kNestedBit) != 0});
        return out;
    }
    for (const Block& b : m_blocks)
        for (const BuildEntry& e : b)
            out.push_back({std::string(buildKey(e)), buildNumbers(e), e.nested});
    return out;
}

size_t KeyTable::MemoryBytes() const
{
    size_t bytes = m_arena.capacity() + m_keys.capacity() + m_slots.capacity() * sizeof(Slot) +
                   m_prefixes.capacity() * sizeof(uint64_t) + m_pool.capacity() * sizeof(uint16_t) +
                   m_blocks.capacity() * sizeof(Block) + m_lists.capacity() * sizeof(std::vector<uint16_t>);
    for (const Block& b : m_blocks)
        bytes += b.capacity() * sizeof(BuildEntry);
    for (const auto& l : m_lists)
        bytes += l.capacity() * sizeof(uint16_t);
    return bytes;
}
