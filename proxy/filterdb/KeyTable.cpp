// The URL key table: an insertable form of sorted blocks, and a sealed form of flat
// arrays in which each entry knows its longest prefix entry, so a lookup is a binary
// search plus a walk along that prefix chain.
#include "filterdb/KeyTable.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace {

constexpr size_t kBlockMax = 128;

// Writes text in the form keys are kept in to out (room for text.size() bytes): up
// to the first NUL, a leading lower-case "http://" dropped, ASCII letters lowered.
// Returns the length written.
size_t normalise(std::string_view text, char* out)
{
    if (const void* nul = text.empty() ? nullptr : std::memchr(text.data(), 0, text.size()))
        text = text.substr(0, static_cast<size_t>(static_cast<const char*>(nul) - text.data()));
    if (text.substr(0, 7) == "http://")
        text.remove_prefix(7);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        out[i] = static_cast<char>(static_cast<unsigned>(b - 'A') < 26u ? b + ('a' - 'A') : b);
    }
    return text.size();
}

// A normalised text; short texts stay on the stack.
class NormalisedText {
public:
    explicit NormalisedText(std::string_view text)
    {
        char* out = m_inline;
        if (text.size() > sizeof(m_inline)) {
            m_heap.resize(text.size());
            out = m_heap.data();
        }
        m_view = std::string_view(out, normalise(text, out));
    }
    NormalisedText(const NormalisedText&) = delete;
    NormalisedText& operator=(const NormalisedText&) = delete;

    std::string_view view() const { return m_view; }

private:
    char m_inline[512];
    std::string m_heap;
    std::string_view m_view;
};

uint64_t loadBigEndian(const char* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

// Byte order (unsigned, shorter first on a common prefix), eight bytes at a time.
int compareBytes(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const uint64_t x = loadBigEndian(a.data() + i);
        const uint64_t y = loadBigEndian(b.data() + i);
        if (x != y)
            return x < y ? -1 : 1;
    }
    for (; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// Comparison of two keys whose prefixes are equal: that means either identical
// short keys or 16 equal leading bytes, which can be skipped.
int compareTail(std::string_view a, std::string_view b)
{
    const size_t skip = std::min<size_t>(a.size(), 16);
    return compareBytes(a.substr(skip), b.substr(std::min(skip, b.size())));
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           (prefix.empty() || std::memcmp(text.data(), prefix.data(), prefix.size()) == 0);
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

KeyTable::Prefix KeyTable::prefixOf(std::string_view key)
{
    char bytes[16] = {};
    if (!key.empty())
        std::memcpy(bytes, key.data(), std::min<size_t>(key.size(), 16));
    return {loadBigEndian(bytes), loadBigEndian(bytes + 8)};
}

bool KeyTable::mayStart(const Prefix& p, size_t n, const Prefix& q)
{
    // Zero padding past n matters not: only the first min(n, 16) bytes must agree.
    auto mask = [](size_t bytes) {
        return bytes >= 8 ? ~uint64_t{0} : bytes == 0 ? 0 : ~uint64_t{0} << (64 - 8 * bytes);
    };
    const uint64_t hiMask = mask(n);
    const uint64_t loMask = n > 8 ? mask(n - 8) : 0;
    return ((p.hi ^ q.hi) & hiMask) == 0 && ((p.lo ^ q.lo) & loMask) == 0;
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

int KeyTable::compareBuild(const Block& b, const BuildEntry& e, const Prefix& prefix, std::string_view key) const
{
    if (e.prefix != prefix)
        return e.prefix < prefix ? -1 : 1;
    return compareTail(buildKey(b, e), key);
}

// The last block whose first key is not greater than key (block 0 when none is).
size_t KeyTable::findBlock(const Prefix& prefix, std::string_view key) const
{
    const size_t n = m_order.size();
    auto firstAbove = [&](size_t b) {
        if (m_blockPrefix[b] != prefix)
            return m_blockPrefix[b] > prefix;
        const Block& block = blockAt(b);
        return compareBuild(block, block.entries.front(), prefix, key) > 0;
    };
    if (m_hint < n && !firstAbove(m_hint) && (m_hint + 1 == n || firstAbove(m_hint + 1)))
        return m_hint;
    // Prefixes alone settle it unless some blocks start with the same 16 bytes.
    const auto begin = m_blockPrefix.begin();
    size_t lo = static_cast<size_t>(std::lower_bound(begin, m_blockPrefix.end(), prefix) - begin);
    size_t hi = static_cast<size_t>(
        std::upper_bound(begin + static_cast<std::ptrdiff_t>(lo), m_blockPrefix.end(), prefix) - begin);
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (firstAbove(mid))
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo == 0 ? 0 : lo - 1;
}

KeyTable::Cursor KeyTable::buildUpperBound(const Prefix& prefix, std::string_view key) const
{
    if (m_order.empty())
        return {0, 0};
    const size_t block = findBlock(prefix, key);
    const Block& b = blockAt(block);
    const auto it = std::upper_bound(b.entries.begin(), b.entries.end(), 0,
                                     [&](int, const BuildEntry& e) { return compareBuild(b, e, prefix, key) > 0; });
    return {block, static_cast<size_t>(it - b.entries.begin())};
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
    c.index = blockAt(c.block).entries.size() - 1;
    return true;
}

uint32_t KeyTable::newBlock()
{
    if (!m_free.empty()) {
        const uint32_t id = m_free.back();
        m_free.pop_back();
        return id;
    }
    m_store.emplace_back().entries.reserve(kBlockMax + 1);
    return static_cast<uint32_t>(m_store.size() - 1);
}

KeyTable::Cursor KeyTable::insertAt(Cursor pos, BuildEntry entry, std::string_view key)
{
    if (m_order.empty()) {
        m_order.push_back(newBlock());
        m_blockPrefix.push_back(entry.prefix);
        pos = {0, 0};
    }
    Block& b = blockAt(pos.block);
    entry.offset = static_cast<uint32_t>(b.keys.size());
    b.keys.insert(b.keys.end(), key.begin(), key.end());
    b.entries.insert(b.entries.begin() + static_cast<std::ptrdiff_t>(pos.index), entry);
    if (pos.index == 0)
        m_blockPrefix[pos.block] = entry.prefix;
    m_keyBytes += key.size();
    m_hint = pos.block;
    if (b.entries.size() <= kBlockMax)
        return pos;

    // Appending in key order (a sorted file) leaves full blocks behind; any other
    // insert splits the block in halves.
    const bool append = pos.block + 1 == m_order.size() && pos.index + 1 == b.entries.size();
    const size_t keep = append ? kBlockMax : b.entries.size() / 2;
    splitBlock(pos.block, keep);
    if (pos.index >= keep) {
        m_hint = pos.block + 1;
        return {pos.block + 1, pos.index - keep};
    }
    return pos;
}

// Moves the entries from keep on into a new block after it; both blocks get compact
// key bytes.
void KeyTable::splitBlock(size_t block, size_t keep)
{
    const uint32_t id = newBlock(); // may move the store, so blocks are looked up after it
    Block& tail = m_store[id];
    Block head;
    head.entries.reserve(kBlockMax + 1);
    const Block& old = blockAt(block);
    for (size_t i = 0; i < old.entries.size(); ++i) {
        Block& to = i < keep ? head : tail;
        BuildEntry e = old.entries[i];
        const std::string_view key = buildKey(old, e);
        e.offset = static_cast<uint32_t>(to.keys.size());
        to.keys.insert(to.keys.end(), key.begin(), key.end());
        to.entries.push_back(e);
    }
    blockAt(block) = std::move(head);
    m_order.insert(m_order.begin() + static_cast<std::ptrdiff_t>(block + 1), id);
    m_blockPrefix.insert(m_blockPrefix.begin() + static_cast<std::ptrdiff_t>(block + 1), tail.entries.front().prefix);
}

void KeyTable::eraseAt(const Cursor& c)
{
    Block& b = blockAt(c.block);
    m_keyBytes -= b.entries[c.index].length;
    b.entries.erase(b.entries.begin() + static_cast<std::ptrdiff_t>(c.index));
    --m_count;
    if (b.entries.empty()) {
        b.keys.clear();
        m_free.push_back(m_order[c.block]);
        m_order.erase(m_order.begin() + static_cast<std::ptrdiff_t>(c.block));
        m_blockPrefix.erase(m_blockPrefix.begin() + static_cast<std::ptrdiff_t>(c.block));
    } else if (c.index == 0) {
        m_blockPrefix[c.block] = b.entries.front().prefix;
    }
}

void KeyTable::dropCovered(Cursor changed, std::string_view key)
{
    const KeyNumbers covering = buildNumbers(at(changed));
    const Prefix keyPrefix = at(changed).prefix;
    Cursor c{changed.block, changed.index + 1};
    for (;;) {
        if (c.block < m_order.size() && c.index == blockAt(c.block).entries.size())
            c = {c.block + 1, 0};
        if (c.block >= m_order.size())
            return;
        const BuildEntry& e = at(c);
        // Keys having key as a prefix sit right after it, so the first one that does
        // not have it ends the walk as surely as the first entry that is not nested.
        if (!e.nested || !mayStart(keyPrefix, key.size(), e.prefix) || !startsWith(buildKey(c), key))
            return;
        if (buildNumbers(e).IsSubsetOf(covering))
            eraseAt(c); // c now names the entry after it
        else
            ++c.index;
    }
}

bool KeyTable::Insert(std::string_view text, uint16_t number)
{
    const NormalisedText norm(text);
    const std::string_view key = norm.view();
    if (m_sealed)
        unseal();
    if (m_keyBytes + key.size() > kMaxKeyBytes || m_count >= kMaxEntries)
        return true;

    const Prefix prefix = prefixOf(key);
    const Cursor pos = buildUpperBound(prefix, key);
    bool nested = false;
    Cursor p = pos;
    if (prev(p)) {
        if (at(p).prefix == prefix && buildKey(p) == key) {
            if (buildContains(at(p), number))
                return false;
            buildAdd(at(p), number);
            dropCovered(p, key);
            return false;
        }
        for (Cursor e = p;;) {
            const BuildEntry& entry = at(e);
            if (entry.length <= key.size() && mayStart(entry.prefix, entry.length, prefix) &&
                startsWith(key, buildKey(e))) {
                nested = true;
                if (buildContains(entry, number))
                    return false; // a shorter key already gives this number
            }
            if (!entry.nested || isFirst(e))
                break;
            prev(e);
        }
    }

    const Cursor at = insertAt(pos, BuildEntry{prefix, 0, static_cast<uint32_t>(key.size()), 0, number, nested}, key);
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
        const std::string_view key = buildKey(c);
        if (exact ? key == text : startsWith(text, key))
            result.AddAll(buildNumbers(e));
        if (!e.nested || isFirst(c))
            break;
        prev(c);
    }
    return result;
}

// ---- sealed form ----

void KeyTable::allocateSealed(size_t count, size_t tailBytes)
{
    m_prefixes = LargeVector<Prefix>(count);
    m_slots = LargeVector<Slot>(count);
    m_tails = LargeVector<char>(tailBytes);
}

std::string KeyTable::slotKey(size_t i) const
{
    const size_t length = slotLength(i);
    char head[16];
    const uint64_t words[2] = {__builtin_bswap64(m_prefixes[i].hi), __builtin_bswap64(m_prefixes[i].lo)};
    std::memcpy(head, words, 16);
    std::string key(head, std::min<size_t>(length, 16));
    key += slotTail(i, length);
    return key;
}

bool KeyTable::slotStarts(size_t i, const Prefix& prefix, std::string_view key) const
{
    const size_t length = slotLength(i);
    return length <= key.size() && mayStart(m_prefixes[i], length, prefix) &&
           startsWith(key.substr(std::min<size_t>(key.size(), 16)), slotTail(i, length));
}

void KeyTable::appendSealed(size_t i, size_t& tail, const Prefix& prefix, std::string_view key, uint32_t numbers,
                            bool nested, std::vector<uint32_t>& chain)
{
    Slot& s = m_slots[i];
    m_prefixes[i] = prefix;
    s.tail = static_cast<uint32_t>(tail);
    if (key.size() > 16) {
        std::memcpy(m_tails.data() + tail, key.data() + 16, key.size() - 16);
        tail += key.size() - 16;
    }
    s.length = static_cast<uint16_t>(std::min<size_t>(key.size(), kLongKey));
    s.numbers = numbers;
    // A lookup walks back only within a nested run, so links end at its start. Every
    // key of the run that is a prefix of this one is a prefix of (or equal to) the key
    // before it, so the chain of that key has them all.
    if (!nested)
        chain.clear();
    while (!chain.empty() && !slotStarts(chain.back(), prefix, key))
        chain.pop_back();
    s.link = (chain.empty() ? 0 : chain.back() + 1) | (nested ? kNestedBit : 0);
    s.shortest = s.length;
    if (!chain.empty())
        s.shortest = std::min(s.shortest, m_slots[chain.back()].shortest);
    chain.push_back(static_cast<uint32_t>(i));
}

void KeyTable::finishSealed(std::vector<uint16_t> pool)
{
    buildTiers();
    m_pool = std::move(pool);
    m_pool.shrink_to_fit();
    m_store = std::vector<Block>();
    m_order = std::vector<uint32_t>();
    m_free = std::vector<uint32_t>();
    m_blockPrefix = std::vector<Prefix>();
    m_lists = std::vector<std::vector<uint16_t>>();
    m_sealed = true;
}

void KeyTable::Seal()
{
    if (m_sealed)
        return;
    size_t tailBytes = 0;
    for (const uint32_t id : m_order)
        for (const BuildEntry& e : m_store[id].entries)
            tailBytes += e.length > 16 ? e.length - 16 : 0;
    allocateSealed(m_count, tailBytes);
    std::vector<uint16_t> pool;
    std::vector<uint32_t> chain;
    size_t i = 0;
    size_t tail = 0;
    for (const uint32_t id : m_order) {
        const Block& b = m_store[id];
        for (const BuildEntry& e : b.entries) {
            uint32_t numbers = e.first;
            if (e.list != 0) {
                const auto& l = m_lists[e.list - 1];
                numbers = kPooled | static_cast<uint32_t>(pool.size());
                pool.push_back(static_cast<uint16_t>(l.size()));
                pool.insert(pool.end(), l.begin(), l.end());
            }
            appendSealed(i++, tail, e.prefix, buildKey(b, e), numbers, e.nested, chain);
        }
    }
    finishSealed(std::move(pool));
}

// With one number and an empty start, Insert never marks an entry nested, so it
// never drops one, and a new key is skipped exactly when the entry just before it
// equals it or is a prefix of it. Keys only meet such an entry within a run of
// sorted keys that all start with the run's first key; elsewhere every key stays.
// Sorting once and replaying only those runs gives the table Insert would.
struct KeyTable::BuildItem {
    Prefix prefix;
    uint32_t offset;
    uint32_t length;
    uint32_t index; // place in the texts
    uint32_t keep;
};

KeyTable::BuildScratch::BuildScratch() = default;
KeyTable::BuildScratch::~BuildScratch() = default;

void KeyTable::Build(std::span<const std::string_view> texts, uint16_t number)
{
    BuildScratch scratch;
    Build(texts, number, scratch);
}

void KeyTable::Build(std::span<const std::string_view> texts, uint16_t number, BuildScratch& scratch)
{
    size_t rawBytes = 0;
    for (const std::string_view t : texts)
        rawBytes += t.size();
    if (m_count != 0 || texts.size() > kMaxEntries || rawBytes > kMaxKeyBytes) {
        for (const std::string_view t : texts)
            Insert(t, number);
        Seal();
        return;
    }

    std::vector<char>& bytes = scratch.m_bytes;
    std::vector<BuildItem>& items = scratch.m_items;
    bytes.resize(rawBytes);
    items.resize(texts.size());
    uint32_t used = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
        const auto n = static_cast<uint32_t>(normalise(texts[i], bytes.data() + used));
        items[i] = {prefixOf({bytes.data() + used, n}), used, n, static_cast<uint32_t>(i), 1};
        used += n;
    }
    auto key = [&](const BuildItem& it) { return std::string_view(bytes.data() + it.offset, it.length); };
    const auto before = [&](const BuildItem& a, const BuildItem& b) {
        if (a.prefix.hi != b.prefix.hi)
            return a.prefix.hi < b.prefix.hi;
        if (a.prefix.lo != b.prefix.lo)
            return a.prefix.lo < b.prefix.lo;
        const int c = compareTail(key(a), key(b));
        return c != 0 ? c < 0 : a.index < b.index;
    };
    if (!std::is_sorted(items.begin(), items.end(), before)) // key files are often kept sorted
        std::sort(items.begin(), items.end(), before);

    std::vector<uint32_t> run; // positions of one run, in insertion order
    std::set<uint32_t> present;
    for (size_t start = 0, end; start < items.size(); start = end) {
        const BuildItem& first = items[start];
        for (end = start + 1; end < items.size() && mayStart(first.prefix, first.length, items[end].prefix) &&
                              startsWith(key(items[end]), key(first));
             ++end) { }
        if (end - start == 1)
            continue;
        run.clear();
        for (size_t p = start; p < end; ++p)
            run.push_back(static_cast<uint32_t>(p));
        std::sort(run.begin(), run.end(), [&](uint32_t a, uint32_t b) { return items[a].index < items[b].index; });
        present.clear();
        for (const uint32_t p : run) {
            const auto after = present.lower_bound(p);
            if (after != present.begin() && startsWith(key(items[p]), key(items[*std::prev(after)])))
                items[p].keep = 0;
            else
                present.insert(p);
        }
    }

    size_t count = 0;
    size_t keyBytes = 0;
    size_t tailBytes = 0;
    for (const BuildItem& it : items) {
        count += it.keep;
        keyBytes += it.keep * it.length;
        tailBytes += it.keep * (it.length > 16 ? it.length - 16 : 0);
    }
    allocateSealed(count, tailBytes);
    std::vector<uint32_t> chain;
    size_t i = 0;
    size_t tail = 0;
    for (const BuildItem& it : items) {
        if (it.keep)
            appendSealed(i++, tail, it.prefix, key(it), number, false, chain);
    }
    m_count = count;
    m_keyBytes = keyBytes;
    m_hint = 0;
    finishSealed({});
}

// The search tiers over the sealed slots: every kFanout-th prefix, then every
// kFanout-th of those, until a tier is short.
void KeyTable::buildTiers()
{
    m_tiers.clear();
    for (size_t n = m_count, step = kFanout; n > kFanout; n = m_tiers.back().size(), step *= kFanout) {
        std::vector<Prefix>& tier = m_tiers.emplace_back();
        tier.reserve(m_count / step + 1);
        for (size_t k = 0; k < m_count; k += step)
            tier.push_back(m_prefixes[k]);
    }
    m_tierTails.clear();
    if (!m_tiers.empty()) {
        m_tierTails.reserve(m_tiers[0].size());
        for (size_t k = 0; k < m_count; k += kFanout)
            m_tierTails.push_back(m_slots[k].tail);
    }
}

void KeyTable::unseal()
{
    const size_t fill = kBlockMax * 3 / 4;
    m_store.clear();
    m_order.clear();
    m_free.clear();
    m_blockPrefix.clear();
    m_lists.clear();
    for (size_t i = 0; i < m_count; ++i) {
        const Slot& s = m_slots[i];
        if (i % fill == 0) {
            m_order.push_back(newBlock());
            m_blockPrefix.push_back(m_prefixes[i]);
        }
        Block& b = m_store.back();
        const std::string key = slotKey(i);
        const bool nested = (s.link & kNestedBit) != 0;
        BuildEntry e{m_prefixes[i], static_cast<uint32_t>(b.keys.size()), static_cast<uint32_t>(key.size()), 0, 0,
                     nested};
        b.keys.insert(b.keys.end(), key.begin(), key.end());
        if (s.numbers & kPooled) {
            const uint32_t at = s.numbers & ~kPooled;
            m_lists.emplace_back(m_pool.begin() + at + 1, m_pool.begin() + at + 1 + m_pool[at]);
            e.list = static_cast<uint32_t>(m_lists.size());
        } else {
            e.first = static_cast<uint16_t>(s.numbers);
        }
        b.entries.push_back(e);
    }
    m_prefixes = LargeVector<Prefix>();
    m_slots = LargeVector<Slot>();
    m_tails = LargeVector<char>();
    m_tiers = std::vector<std::vector<Prefix>>();
    m_tierTails = std::vector<uint32_t>();
    m_pool = std::vector<uint16_t>();
    m_hint = 0;
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

namespace {

// Asks for the cache lines of [from, to) at once, so a search in them waits for one
// memory round trip instead of one per probe.
void prefetch(const void* from, const void* to)
{
    for (auto p = static_cast<const char*>(from); p < static_cast<const char*>(to); p += 64)
        __builtin_prefetch(p);
}

} // namespace

size_t KeyTable::sealedUpperBound(const Prefix& prefix, std::string_view key) const
{
    // Down the index tiers, each searched only within the window the tier above left:
    // after the last item below the prefix and up to the first item above it. A
    // window (at most 2 * kFanout items but where many keys share 16 bytes) is
    // searched by counting the items below the prefix, which needs no chain of
    // dependent probes; then the run of equal prefixes is walked.
    auto below = [&](const Prefix& p) { return (p.hi < prefix.hi) | ((p.hi == prefix.hi) & (p.lo < prefix.lo)); };
    auto firstNotBelow = [&](const Prefix* items, size_t lo, size_t hi) {
        if (hi - lo <= 2 * kFanout) {
            size_t count = 0;
            for (size_t i = lo; i < hi; ++i)
                count += static_cast<size_t>(below(items[i]));
            return lo + count;
        }
        return static_cast<size_t>(std::partition_point(items + lo, items + hi, below) - items);
    };

    size_t lo = 0;
    size_t hi = m_tiers.empty() ? m_count : m_tiers.back().size();
    for (size_t t = m_tiers.size(); t-- > 0;) {
        const Prefix* tier = m_tiers[t].data();
        prefetch(tier + lo, tier + std::min(hi, lo + 2 * kFanout));
        const size_t a = firstNotBelow(tier, lo, hi);
        const size_t b = static_cast<size_t>(
            std::partition_point(tier + a, tier + hi, [&](const Prefix& p) { return p == prefix; }) - tier);
        const size_t count = t == 0 ? m_count : m_tiers[t - 1].size();
        lo = a == 0 ? 0 : (a - 1) * kFanout + 1;
        hi = std::min(count, b * kFanout);
    }
    // The record of the entry before the bound is read next, and the tails when the
    // key shares its prefix with entries: all are asked for now.
    const Prefix* prefixes = m_prefixes.data();
    prefetch(prefixes + lo, prefixes + std::min(hi, lo + 2 * kFanout));
    prefetch(m_slots.data() + (lo == 0 ? 0 : lo - 1), m_slots.data() + std::min(hi, lo + 2 * kFanout));
    if (!m_tierTails.empty()) {
        const size_t from = lo == 0 ? 0 : m_tierTails[(lo - 1) / kFanout];
        const size_t to = hi / kFanout < m_tierTails.size() ? m_tierTails[hi / kFanout] : m_tails.size();
        prefetch(m_tails.data() + from, m_tails.data() + std::min(to, from + 256));
    }
    const size_t at = firstNotBelow(prefixes, lo, hi);
    if (at == hi || prefixes[at] != prefix)
        return at;
    // Keys sharing the prefix sit together, and so do their tails: one request for
    // those lines spares the search a round trip per probe.
    size_t to = static_cast<size_t>(
        std::partition_point(prefixes + at, prefixes + hi, [&](const Prefix& p) { return p == prefix; }) - prefixes);
    const char* tails = m_tails.data();
    prefetch(tails + m_slots[at].tail, tails + std::min<size_t>(m_slots[to - 1].tail + 64, m_slots[at].tail + 512));
    const std::string_view keyTail = key.substr(std::min<size_t>(key.size(), 16));
    size_t from = at;
    while (from < to) {
        const size_t mid = from + (to - from) / 2;
        if (compareBytes(slotTail(mid, slotLength(mid)), keyTail) <= 0)
            from = mid + 1;
        else
            to = mid;
    }
    return from;
}

std::optional<KeyNumbers> KeyTable::lookupSealed(std::string_view text, bool exact) const
{
    KeyNumbers result;
    const Prefix prefix = prefixOf(text);
    const size_t bound = sealedUpperBound(prefix, text);
    if (bound == 0)
        return result;
    const size_t last = bound - 1;
    const Prefix& lastPrefix = m_prefixes[last];
    const size_t lastLength = slotLength(last);
    if (exact) {
        if (lastPrefix == prefix && lastLength == text.size() &&
            slotTail(last, lastLength) == text.substr(std::min<size_t>(text.size(), 16)))
            addSlotNumbers(last, result);
        return result;
    }
    // The entries a walk back from `last` would see end at the start of its nested
    // run; of those, the prefixes of text are the link chain of `last` cut to the
    // length both keys share. Differing prefixes tell that length without the keys.
    size_t shared;
    if (lastPrefix.hi != prefix.hi)
        shared = static_cast<size_t>(__builtin_clzll(lastPrefix.hi ^ prefix.hi) / 8);
    else if (lastPrefix.lo != prefix.lo)
        shared = 8 + static_cast<size_t>(__builtin_clzll(lastPrefix.lo ^ prefix.lo) / 8);
    else if (lastLength < 16 || text.size() < 16)
        shared = std::min(lastLength, text.size()); // keys hold no NUL: equal short keys
    else
        shared = 16 + commonPrefixLength(slotTail(last, lastLength), text.substr(16));
    shared = std::min({shared, lastLength, text.size()});
    if (shared < m_slots[last].shortest)
        return result; // no key on the chain is that short
    for (size_t e = last + 1; e != 0; e = m_slots[e - 1].link & ~kNestedBit) {
        if (slotLength(e - 1) <= shared)
            addSlotNumbers(e - 1, result);
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

size_t KeyTable::Size() const { return m_count; }

std::vector<KeyEntry> KeyTable::Entries() const
{
    std::vector<KeyEntry> out;
    out.reserve(m_count);
    if (m_sealed) {
        for (size_t i = 0; i < m_count; ++i)
            out.push_back({slotKey(i), slotNumbers(i), (m_slots[i].link & kNestedBit) != 0});
        return out;
    }
    for (const uint32_t id : m_order)
        for (const BuildEntry& e : m_store[id].entries)
            out.push_back({std::string(buildKey(m_store[id], e)), buildNumbers(e), e.nested});
    return out;
}

size_t KeyTable::MemoryBytes() const
{
    size_t bytes = m_prefixes.capacity() * sizeof(Prefix) + m_slots.capacity() * sizeof(Slot) + m_tails.capacity() +
                   m_pool.capacity() * sizeof(uint16_t) + m_store.capacity() * sizeof(Block) +
                   (m_order.capacity() + m_free.capacity()) * sizeof(uint32_t) +
                   m_blockPrefix.capacity() * sizeof(Prefix) + m_lists.capacity() * sizeof(std::vector<uint16_t>);
    for (const Block& b : m_store)
        bytes += b.entries.capacity() * sizeof(BuildEntry) + b.keys.capacity();
    for (const auto& tier : m_tiers)
        bytes += tier.capacity() * sizeof(Prefix);
    bytes += m_tierTails.capacity() * sizeof(uint32_t);
    for (const auto& l : m_lists)
        bytes += l.capacity() * sizeof(uint16_t);
    return bytes;
}
