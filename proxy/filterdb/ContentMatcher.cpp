// The phrase automaton: keys go into a plain trie, Build turns it into flat arrays
// with failure links and full transition rows for the shallow states.
#include "filterdb/ContentMatcher.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "platform/LargeMemory.h"

namespace {

bool isWhite(unsigned char b) { return b == ' ' || b == '\t' || b == '\r' || b == '\n'; }

unsigned char fold(unsigned char b)
{
    return static_cast<unsigned>(b - 'A') < 26u ? static_cast<unsigned char>(b + ('a' - 'A')) : b;
}

// Full rows cost two bytes per class per state; they go to as many shallow states as
// this allows, so a small matcher is all rows and a big one stays within bounds. A
// state without a row costs scans far more than a row that has dropped out of cache.
size_t rowBudgetBytes(size_t states) { return std::clamp<size_t>(states * 128, size_t{256} << 10, size_t{8} << 20); }

// Rough share of a byte in web pages, per million bytes: markup, English and Japanese
// text. Only the order and the sums matter: they pick each key's anchor and tell
// whether skipping to anchors pays.
unsigned perMillion(unsigned char b)
{
    static const unsigned kLetters[26] = {// a..z in running English text
                                          49000, 9000,  17000, 26000, 76000, 13000, 12000, 37000, 42000,
                                          900,   4800,  24000, 14000, 40000, 45000, 11000, 600,   36000,
                                          38000, 55000, 17000, 6000,  14000, 900,   12000, 400};
    if (b >= 'a' && b <= 'z')
        return kLetters[b - 'a'];
    if (b >= 'A' && b <= 'Z')
        return kLetters[b - 'A'] / 10 + 100;
    if (b >= '0' && b <= '9')
        return 5000;
    if (b >= 0x80)
        return 3000; // bytes of double-byte and UTF-8 text
    if (b < 0x20 || b == 0x7F)
        return 50;
    return std::strchr("<>/=\"'.,-:;_#&", b) ? 15000 : 1000;
}

constexpr uint64_t kStartHash = 0x9E3779B97F4A7C15ull;
constexpr uint64_t kStartSlotHash = 0xC2B2AE3D27D4EB4Full;

// Key bytes that make a key start, and how many keys' starts make skipping by them
// worth its tables: a small automaton stays in cache and reads every byte faster.
constexpr unsigned kMaxStartLength = 8;
constexpr unsigned kMinStartLength = 4;
constexpr size_t kMinStatesForStarts = size_t{1} << 14;

// The bit table of key starts: its words, picked by the top bits of a start's hash,
// and the two bits the hash sets in its word, from the bits just below those.
constexpr unsigned kStartWordBits = 12;
constexpr size_t kStartWords = size_t{1} << kStartWordBits;
constexpr unsigned kStartWordShift = 64 - kStartWordBits;

inline uint64_t startBitPair(uint64_t hash)
{
    return (uint64_t{1} << ((hash >> (kStartWordShift - 6)) & 63)) |
           (uint64_t{1} << ((hash >> (kStartWordShift - 12)) & 63));
}

} // namespace

bool ContentMatcher::AddKey(std::string_view key, uint16_t number)
{
    if (m_built)
        return true;
    std::string text;
    text.reserve(key.size());
    for (char ch : key) {
        const auto b = static_cast<unsigned char>(ch);
        if (!isWhite(b))
            text.push_back(static_cast<char>(m_caseFolding ? fold(b) : b));
    }
    if (text.empty())
        return false;
    if (m_trie.size() + text.size() > kMaxStates)
        return true;

    const auto length = static_cast<uint32_t>(text.size());
    if (!m_hasKeys) {
        m_minLength = m_maxLength = length;
        m_hasKeys = true;
    } else {
        m_minLength = std::min(m_minLength, length);
        m_maxLength = std::max(m_maxLength, length);
    }

    uint32_t node = 0;
    for (char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        uint32_t child = m_trie[node].firstChild;
        while (child != 0 && m_trie[child].label != b)
            child = m_trie[child].nextSibling;
        if (child == 0) {
            child = static_cast<uint32_t>(m_trie.size());
            TrieNode fresh;
            fresh.label = b;
            fresh.nextSibling = m_trie[node].firstChild;
            m_trie.push_back(fresh);
            m_trie[node].firstChild = child;
        }
        node = child;
    }
    TrieNode& end = m_trie[node];
    if (end.keyText == 0) {
        end.keyText = static_cast<uint32_t>(m_keyText.size()) + 1;
        m_keyText += text;
    }
    // Number 0 reads as "not yet set", so a later key may still fill it in.
    if (m_everyEnd)
        end.number |= number;
    else if (end.number == 0)
        end.number = number;
    return false;
}

void ContentMatcher::Build(size_t rowBytes)
{
    if (m_built)
        return;
    assignClasses();
    numberStates();
    linkFailures();
    // Breadth first, the states of each depth follow those of the depth before.
    m_levelEnd.assign(size_t{m_maxLength} + 1, 0);
    for (const Node& node : m_nodes)
        ++m_levelEnd[node.depth];
    for (size_t d = 1; d < m_levelEnd.size(); ++d)
        m_levelEnd[d] += m_levelEnd[d - 1];

    // Rows for the shallow states, each padded to a power of two so a state's row
    // is one cache line or two; fewer states get rows when their special actions
    // would not fit the 16-bit codes.
    const size_t count = m_nodes.size();
    m_shift = 0;
    while ((1u << m_shift) < m_width)
        ++m_shift;
    const size_t rowSize = (size_t{1} << m_shift) * sizeof(uint16_t);
    size_t dense = std::clamp<size_t>((rowBytes ? rowBytes : rowBudgetBytes(count)) / rowSize, 1, count);
    dense = std::min<size_t>(dense, 0xFFFF);
    while (!buildRows(static_cast<uint32_t>(dense))) {
        if (dense == 1)
            return; // no memory even for the root's row: the matcher stays unbuilt
        dense = std::max<size_t>(1, dense / 2);
    }

    chooseAnchors();
    if (m_anchorCount == 0)
        buildStarts();

    // What states without a row need at each step, in the arrays they read anyway: the
    // move along each edge, and whether the failure state is a key end.
    for (uint32_t& child : m_childNode)
        child = moveTo(child);
    if (!m_everyEnd)
        for (Node& node : m_nodes)
            if (isKeyEnd(node.fail))
                node.fail |= kFailsToKeyEnd;

    m_trie = std::vector<TrieNode>();
    m_built = true;
}

// Each key's anchor is its rarest byte (both cases of a letter when folding). Skipping
// is on when a few bytes anchor every key and the stretches the automaton still reads
// around them (a key's length on either side) are expected to cover little of a page.
void ContentMatcher::chooseAnchors()
{
    m_anchorCount = 0;
    if (!m_hasKeys)
        return;
    bool anchor[256] = {};
    for (const Node& node : m_nodes) {
        if (node.keyText == 0)
            continue;
        const char* key = m_keyText.data() + node.keyText - 1;
        const auto* best = reinterpret_cast<const unsigned char*>(key);
        for (uint32_t k = 1; k < node.depth; ++k) {
            const auto* b = reinterpret_cast<const unsigned char*>(key + k);
            if (perMillion(*b) < perMillion(*best))
                best = b;
        }
        anchor[*best] = true;
        if (m_caseFolding && *best >= 'a' && *best <= 'z')
            anchor[*best - ('a' - 'A')] = true;
    }
    size_t count = 0;
    uint64_t share = 0;
    for (unsigned b = 0; b < 256; ++b) {
        if (!anchor[b])
            continue;
        if (count == kMaxAnchors)
            return;
        m_anchors[count++] = static_cast<unsigned char>(b);
        share += perMillion(static_cast<unsigned char>(b));
    }
    if (share * (2 * uint64_t{m_maxLength} + 2) < 100000) // under a tenth of the bytes
        m_anchorCount = count;
}

// The start of each key (its first m_startLength key bytes, one class per byte) and the
// state it leads to from any state shallower than it: there are no longer partial
// keys to continue then, so the automaton is exactly in that start's state.
void ContentMatcher::buildStarts()
{
    m_startLength = 0;
    const unsigned length = std::min<unsigned>(kMaxStartLength, m_minLength);
    if (!m_hasKeys || length < kMinStartLength || m_nodes.size() < kMinStatesForStarts)
        return;
    std::vector<std::pair<uint64_t, uint32_t>> starts; // first key bytes, state
    std::vector<std::pair<uint32_t, uint64_t>> stack{{kRootState, 0}};
    uint32_t shallow = 0;
    while (!stack.empty()) {
        const auto [state, start] = stack.back();
        stack.pop_back();
        const Node& node = m_nodes[state];
        if (node.depth == length) {
            starts.emplace_back(start, state);
            continue;
        }
        shallow = std::max(shallow, state + 1);
        for (uint32_t k = 0; k < node.childCount; ++k)
            stack.emplace_back(m_childNode[node.childBegin + k], start << 8 | m_childClass[node.childBegin + k]);
    }
    // Two bits per start in one word of the bit table, whose size is fixed so scans
    // shift by constants; it stays within the first level of cache.
    m_startBits.assign(kStartWords, 0);
    unsigned slots = 4;
    while ((size_t{1} << slots) < starts.size() * 3 / 2)
        ++slots;
    m_startSlots.assign(size_t{1} << slots, StartSlot{});
    m_startSlotShift = 64 - slots;
    for (const auto& [start, state] : starts) {
        const uint64_t h = start * kStartHash;
        m_startBits[h >> kStartWordShift] |= startBitPair(h);
        size_t slot = (start * kStartSlotHash) >> m_startSlotShift;
        while (m_startSlots[slot].start != 0)
            slot = (slot + 1) & (m_startSlots.size() - 1);
        m_startSlots[slot] = {start, moveTo(state)};
    }
    for (unsigned b = 0; b < 256; ++b) {
        m_startSteps[0][b] = static_cast<uint16_t>(8u << 8 | m_class[b]);
        m_startSteps[1][b] = m_compactClass[b] == kWhiteColumn ? 0 : static_cast<uint16_t>(8u << 8 | m_compactClass[b]);
    }
    m_startShallow = shallow;
    m_startLength = length;
}

// The move a key start leads to; 0 when it starts no key.
uint32_t ContentMatcher::startAction(uint64_t start) const
{
    for (size_t slot = (start * kStartSlotHash) >> m_startSlotShift;; slot = (slot + 1) & (m_startSlots.size() - 1)) {
        const StartSlot& s = m_startSlots[slot];
        if (s.start == start)
            return s.action;
        if (s.start == 0)
            return 0;
    }
}

// Classes: one per byte that occurs in a key, in byte order from 2; 0 for all others.
// White bytes have column 1, so that a white-blind scan reads the same cache line of a
// row for them as for the bytes of text around them.
void ContentMatcher::assignClasses()
{
    bool used[256] = {};
    for (size_t i = 1; i < m_trie.size(); ++i)
        used[m_trie[i].label] = true;
    unsigned classes = kWhiteColumn + 1;
    for (unsigned b = 0; b < 256; ++b)
        m_class[b] = used[b] ? static_cast<unsigned char>(classes++) : 0;
    if (m_caseFolding)
        for (unsigned b = 'A'; b <= 'Z'; ++b)
            m_class[b] = m_class[b + ('a' - 'A')];
    m_width = classes;
    for (unsigned b = 0; b < 256; ++b)
        m_compactClass[b] = isWhite(static_cast<unsigned char>(b)) ? kWhiteColumn : m_class[b];
}

// The trie's nodes as states numbered breadth first, children sorted by class.
void ContentMatcher::numberStates()
{
    const size_t count = m_trie.size();
    std::vector<uint32_t> order; // new number -> trie node
    std::vector<uint32_t> number(count);
    order.reserve(count);
    order.push_back(0);
    m_nodes.assign(count, Node{});
    m_childClass.reserve(count - 1);
    m_childNode.reserve(count - 1);
    std::vector<std::pair<unsigned char, uint32_t>> kids;
    for (size_t n = 0; n < order.size(); ++n) {
        const TrieNode& t = m_trie[order[n]];
        Node& node = m_nodes[n];
        node.keyText = t.keyText;
        node.number = t.number;
        kids.clear();
        for (uint32_t c = t.firstChild; c != 0; c = m_trie[c].nextSibling)
            kids.emplace_back(m_class[m_trie[c].label], c);
        std::sort(kids.begin(), kids.end());
        node.childBegin = static_cast<uint32_t>(m_childClass.size());
        node.childCount = static_cast<uint16_t>(kids.size());
        for (const auto& [cls, c] : kids) {
            number[c] = static_cast<uint32_t>(order.size());
            m_nodes[order.size()].depth = node.depth + 1;
            order.push_back(c);
            m_childClass.push_back(cls);
            m_childNode.push_back(number[c]);
        }
    }
}

// Failure links, breadth first: a child of the root fails to the root; any other
// child by class c fails to the c-child of the nearest state on its parent's
// failure chain that has one.
void ContentMatcher::linkFailures()
{
    const auto count = static_cast<uint32_t>(m_nodes.size());
    for (uint32_t n = 0; n < count; ++n) {
        const Node& node = m_nodes[n];
        for (uint32_t k = 0; k < node.childCount; ++k) {
            const unsigned cls = m_childClass[node.childBegin + k];
            const uint32_t child = m_childNode[node.childBegin + k];
            uint32_t target = 0;
            if (n != 0) {
                for (uint32_t f = node.fail;; f = m_nodes[f].fail) {
                    const uint32_t c = childOf(f, cls);
                    if (c != kStateMask) {
                        target = c;
                        break;
                    }
                    if (f == 0)
                        break;
                }
            }
            m_nodes[child].fail = target;
        }
    }
    // Reporting every end: a state also stands for the keys along its failure chain.
    // Breadth first, each failure state is complete before the states that use it.
    if (m_everyEnd)
        for (uint32_t n = 1; n < count; ++n)
            m_nodes[n].number |= m_nodes[m_nodes[n].fail].number;
}

uint32_t ContentMatcher::moveTo(uint32_t state) const
{
    if (isKeyEnd(state))
        return kReportNow | state;
    if (state < m_denseCount)
        return state;
    return kEnterDeep | state;
}

// Rows for the first `count` states. A state's row starts as its failure state's row
// (or, when that state is a key end, as a late report of it at every byte), then
// its own children are written in; the white column keeps the state as it is.
// Returns false when the special actions do not fit beside `count` in 16 bits.
bool ContentMatcher::buildRows(uint32_t count)
{
    m_denseCount = count;
    const size_t width = size_t{1} << m_shift;
    if (!m_rows.Assign(size_t{count} * width))
        return false;
    m_specials.clear();
    std::unordered_map<uint32_t, uint16_t> codes;
    bool fits = true;
    auto encode = [&](uint32_t action) -> uint16_t {
        if (action < kSpecial)
            return static_cast<uint16_t>(action);
        const auto [it, added] = codes.try_emplace(action, 0);
        if (added) {
            const size_t code = count + m_specials.size();
            if (code > 0xFFFF) {
                fits = false;
                return 0;
            }
            it->second = static_cast<uint16_t>(code);
            m_specials.push_back(action);
        }
        return it->second;
    };
    for (uint32_t n = 0; n < count && fits; ++n) {
        uint16_t* row = &m_rows[size_t{n} * width];
        if (n != 0) {
            const uint32_t f = m_nodes[n].fail;
            if (isKeyEnd(f) && !m_everyEnd)
                std::fill(row, row + m_width, encode(kReportLate | f));
            else
                std::copy_n(&m_rows[size_t{f} * width], m_width, row);
        }
        const Node& node = m_nodes[n];
        for (uint32_t k = 0; k < node.childCount; ++k)
            row[m_childClass[node.childBegin + k]] = encode(moveTo(m_childNode[node.childBegin + k]));
        row[kWhiteColumn] = static_cast<uint16_t>(n);
    }
    return fits;
}

bool ContentMatcher::RowTable::Assign(size_t count)
{
    release();
    const size_t bytes = std::max<size_t>(count, 1) * sizeof(uint16_t);
    m_data = static_cast<uint16_t*>(platform::AllocateLarge(bytes));
    if (!m_data)
        return false;
    std::memset(m_data, 0, bytes);
    m_size = count;
    return true;
}

void ContentMatcher::RowTable::release()
{
    platform::FreeLarge(m_data, std::max<size_t>(m_size, 1) * sizeof(uint16_t));
    m_data = nullptr;
    m_size = 0;
}

uint32_t ContentMatcher::childOf(uint32_t state, unsigned cls) const
{
    const Node& node = m_nodes[state];
    const unsigned char* begin = m_childClass.data() + node.childBegin;
    const unsigned char* end = begin + node.childCount;
    const unsigned char* it = std::lower_bound(begin, end, static_cast<unsigned char>(cls));
    if (it == end || *it != cls)
        return kStateMask;
    return m_childNode[node.childBegin + static_cast<size_t>(it - begin)];
}

// The transition of a state without a row: its own child, else along the failure
// chain, reporting the first key end met there, until a state with a row answers.
uint32_t ContentMatcher::deepStep(uint32_t state, unsigned cls) const
{
    for (;;) {
        const Node& node = m_nodes[state];
        const unsigned char* begin = m_childClass.data() + node.childBegin;
        const unsigned char* end = begin + node.childCount;
        const unsigned char* it = node.childCount <= 8 ? std::find(begin, end, static_cast<unsigned char>(cls))
                                                       : std::lower_bound(begin, end, static_cast<unsigned char>(cls));
        if (it != end && *it == cls)
            return m_childNode[node.childBegin + static_cast<size_t>(it - begin)];
        const uint32_t f = node.fail & ~kFailsToKeyEnd;
        if (node.fail & kFailsToKeyEnd)
            return kReportLate | f;
        if (f < m_denseCount)
            return rowAction(f, cls);
        state = f;
    }
}

// A long text is scanned in kStreams parts at once, which keeps that many chains of
// row loads in flight instead of one. The state at any byte depends only on the last
// m_maxLength key bytes before it, so a part started at the root that many key bytes
// before its own start is in the true state from there on. The parts run side by side
// until one meets a report; then each part in turn runs on to the end of its own
// stretch, handing over to the next when it gets there without a report. Returns the
// earliest point whose state is certain, with that state in `state`.
template <bool Compact>
size_t ContentMatcher::scanInterleaved(const unsigned char* text, size_t length, uint32_t& state) const
{
    const unsigned char* classOf = Compact ? m_compactClass : m_class;
    const uint32_t white = kWhiteColumn;
    const uint16_t* rows = m_rows.data();
    const uint32_t dense = m_denseCount;
    const unsigned shift = m_shift;

    // One byte from state s: moves s and returns 0, or returns the report that the
    // byte causes and leaves s where it was.
    auto advance = [&](uint32_t& s, unsigned cls) -> uint32_t {
        uint32_t a;
        if (s < dense) {
            const uint32_t code = rows[(size_t{s} << shift) + cls];
            if (code < dense) {
                s = code;
                return 0;
            }
            a = m_specials[code - dense];
        } else {
            if (Compact && cls == white)
                return 0;
            a = deepStep(s, cls);
            if (a < kSpecial) {
                s = a;
                return 0;
            }
        }
        if ((a & kKindMask) == kEnterDeep) {
            s = a & kStateMask;
            return 0;
        }
        return a;
    };

    size_t pos[kStreams]; // next byte of each part
    size_t until[kStreams]; // each part's stretch ends here
    uint32_t st[kStreams];
    bool inStep[kStreams]; // false when too few key bytes lie before the stretch
    for (size_t k = 0; k < kStreams; ++k) {
        until[k] = length * (k + 1) / kStreams;
        inStep[k] = true;
        pos[k] = k == 0 ? 0 : leadIn<Compact>(text, length * k / kStreams, inStep[k]);
        st[k] = k == 0 ? state : kRootState;
    }
    for (bool running = true; running;) {
        for (size_t k = 0; k < kStreams; ++k) {
            if (advance(st[k], classOf[text[pos[k]]]) != 0 || ++pos[k] == until[k])
                running = false;
        }
    }
    size_t k = 0;
    for (;;) {
        while (pos[k] < until[k] && advance(st[k], classOf[text[pos[k]]]) == 0)
            ++pos[k];
        if (pos[k] < until[k] || k + 1 == kStreams || !inStep[k + 1] || pos[k + 1] < until[k]) {
            // A report, the last part, or a next part that cannot take over here.
            break;
        }
        ++k;
    }
    state = st[k];
    return pos[k];
}

// Where a part of an interleaved scan whose stretch begins at `from` starts: the
// longest key's length in key bytes before it, or the text's start when there are
// fewer (inStep then false).
template <bool Compact> size_t ContentMatcher::leadIn(const unsigned char* text, size_t from, bool& inStep) const
{
    size_t b = from;
    size_t keyBytes = 0;
    while (keyBytes < m_maxLength && b > 0) {
        --b;
        if (!Compact || !isWhite(text[b]))
            ++keyBytes;
    }
    inStep = keyBytes == m_maxLength;
    return b;
}

// Runs the automaton from text[i] up to `to` or the first report; on a report i is
// the byte where it happened and action says what it is.
template <bool Compact>
bool ContentMatcher::run(uint32_t& state, const unsigned char* text, size_t& i, size_t to, uint32_t& action) const
{
    const unsigned char* classOf = Compact ? m_compactClass : m_class;
    const uint32_t white = kWhiteColumn;
    const uint16_t* rows = m_rows.data();
    const uint32_t dense = m_denseCount;
    const unsigned shift = m_shift;
    while (i < to) {
        if (state < dense) {
            // The hot loop: one row load per byte while the states have rows.
            uint32_t s = state;
            uint32_t code = 0;
            for (; i < to; ++i) {
                code = rows[(size_t{s} << shift) + classOf[text[i]]];
                if (code >= dense)
                    break;
                s = code;
            }
            state = s;
            if (i == to)
                break;
            action = m_specials[code - dense];
        } else {
            const unsigned cls = classOf[text[i]];
            if (Compact && cls == white) {
                ++i;
                continue;
            }
            action = deepStep(state, cls);
            if (action < kSpecial) {
                state = action;
                ++i;
                continue;
            }
        }
        if ((action & kKindMask) == kEnterDeep) {
            state = action & kStateMask;
            ++i;
            continue;
        }
        return true;
    }
    return false;
}

// Runs the automaton from the text's start until its state holds no more key bytes
// than it has read here, so no partial key reaches back before the text; from then on
// a scan may treat the text as the whole of what it has seen.
template <bool Compact>
bool ContentMatcher::settle(uint32_t& state, const unsigned char* text, size_t length, size_t& i,
                            uint32_t& action) const
{
    const unsigned char* classOf = Compact ? m_compactClass : m_class;
    const size_t deepest = m_levelEnd.size() - 1;
    size_t keyBytes = 0;
    for (i = 0; i < length && state >= m_levelEnd[std::min(keyBytes, deepest)]; ++i) {
        const unsigned char b = text[i];
        if (step<Compact>(state, classOf[b], action))
            return true;
        keyBytes += !Compact || !isWhite(b) ? 1u : 0u;
    }
    return false;
}

// Every key holds an anchor byte, so a report at a byte (a key ending there, or late,
// at the key byte before it) needs an anchor at most m_maxLength key bytes before it.
// The automaton reads each anchor and the m_maxLength key bytes after it, and is off
// in between: the state at a byte depends only on the last m_maxLength key bytes, so a
// run started at the root that many key bytes before an anchor is in the true state
// there, and cannot report on the way (its keys would lie among bytes without an
// anchor). A key begun before the text may have its anchor there, so the automaton
// reads from the start until no such key is in progress. Returns true on a report; otherwise state is the state at
// i, from where a plain scan goes on.
template <bool Compact>
bool ContentMatcher::skipScan(const unsigned char* text, size_t length, uint32_t& state, size_t& i,
                              uint32_t& action) const
{
    const uint32_t reach = m_maxLength + 1;
    auto isKeyByte = [](unsigned char b) { return !Compact || !isWhite(b); };
    // Past `keyBytes` key bytes from `from`, or the end.
    auto forward = [&](size_t from, uint32_t keyBytes) {
        for (; from < length && keyBytes > 0; ++from)
            keyBytes -= isKeyByte(text[from]) ? 1u : 0u;
        return from;
    };
    // Where each anchor byte next occurs at or after the byte searched from.
    size_t next[kMaxAnchors];
    bool known[kMaxAnchors] = {};
    auto nextAnchor = [&](size_t from) {
        size_t nearest = length;
        if (from >= length)
            return nearest;
        for (size_t k = 0; k < m_anchorCount; ++k) {
            if (!known[k] || next[k] < from) {
                known[k] = true;
                const void* hit = std::memchr(text + from, m_anchors[k], length - from);
                next[k] = hit ? static_cast<size_t>(static_cast<const unsigned char*>(hit) - text) : length;
            }
            nearest = std::min(nearest, next[k]);
        }
        return nearest;
    };

    if (settle<Compact>(state, text, length, i, action))
        return true;
    for (size_t search = 0; i < length;) {
        const size_t anchor = nextAnchor(search);
        const size_t until = anchor < length ? forward(anchor, reach) : length;
        search = anchor + 1;
        if (until <= i)
            continue; // read already
        // Start afresh when the automaton would otherwise read more than a key's length.
        size_t from = anchor;
        uint32_t keyBytes = 0;
        while (keyBytes < m_maxLength && from > i)
            keyBytes += isKeyByte(text[--from]) ? 1u : 0u;
        if (keyBytes == m_maxLength && from > i) {
            i = from;
            state = kRootState;
        }
        if (run<Compact>(state, text, i, until, action))
            return true;
    }
    return false;
}

// One byte from state: moves it and returns false, or returns true with the report
// the byte causes in action.
template <bool Compact> bool ContentMatcher::step(uint32_t& state, unsigned cls, uint32_t& action) const
{
    if (state < m_denseCount) {
        const uint32_t code = m_rows[(size_t{state} << m_shift) + cls];
        if (code < m_denseCount) {
            state = code;
            return false;
        }
        action = m_specials[code - m_denseCount];
    } else {
        if (Compact && cls == kWhiteColumn)
            return false;
        action = deepStep(state, cls);
        if (action < kSpecial) {
            state = action;
            return false;
        }
    }
    if ((action & kKindMask) == kEnterDeep) {
        state = action & kStateMask;
        return false;
    }
    return true;
}

// Every key is at least m_startLength key bytes long, and a state holds that many or
// more only once a key's start has been read. So while the state is shallower, no key
// can end (now or one byte late) and the automaton need not run: each byte only adds
// itself to the last key bytes read, which are tested for a start. At a start the
// state is that start's own (a longer partial key would have been deep already one
// byte before); from there the automaton reads on until it is shallow again. A
// shallow state is settled by the last m_startLength - 1 key bytes, so it is found
// again from them at the end. Returns true on a report, else leaves the state at the
// text's end.
template <bool Compact>
bool ContentMatcher::startScan(const unsigned char* text, size_t length, uint32_t& state, size_t& i,
                               uint32_t& action) const
{
    const unsigned char* classOf = Compact ? m_compactClass : m_class;
    const unsigned before = m_startLength - 1;
    const uint64_t mask = m_startLength == 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * m_startLength)) - 1;
    auto isKeyByte = [](unsigned char b) { return !Compact || !isWhite(b); };
    // The key bytes before `to`, back to `before` of them or the text's start, as a
    // start's low bytes; with where they begin.
    auto lastKeyBytes = [&](size_t to, size_t& from) {
        uint64_t bytes = 0;
        from = to;
        for (unsigned n = 0; n < before && from > 0;) {
            const unsigned char b = text[--from];
            if (isKeyByte(b))
                bytes |= uint64_t{classOf[b]} << (8 * n++);
        }
        return bytes;
    };

    if (settle<Compact>(state, text, length, i, action))
        return true;
    while (i < length) {
        if (state >= m_startShallow) {
            if (step<Compact>(state, classOf[text[i]], action))
                return true;
            ++i;
            continue;
        }
        size_t from = 0;
        uint64_t recent = lastKeyBytes(i, from); // the last key bytes, newest lowest
        uint32_t next = 0;
        const uint64_t* bits = m_startBits.data();
        const uint16_t* steps = m_startSteps[Compact ? 1 : 0];
        size_t at = i;
        for (; at < length; ++at) {
            // Each byte shifts its class in, or (white) leaves the key bytes as they
            // are: one table entry says which, without a branch on bytes that come at
            // random.
            const unsigned entry = steps[text[at]];
            recent = (recent << (entry >> 8)) | (entry & 0xFF);
            const uint64_t h = (recent & mask) * kStartHash;
            const uint64_t pair = startBitPair(h);
            if ((bits[h >> kStartWordShift] & pair) == pair) {
                next = startAction(recent & mask);
                if (next != 0)
                    break;
            }
        }
        i = at;
        if (i == length) {
            lastKeyBytes(length, from);
            state = kRootState;
            // Fewer key bytes than any key, and none in progress from before the
            // text: this cannot report.
            const bool found = run<Compact>(state, text, from, length, action);
            i = from;
            return found;
        }
        if ((next & kKindMask) == kReportNow) {
            action = next;
            return true;
        }
        state = next & kStateMask;
        ++i;
    }
    return false;
}

template <bool Compact>
bool ContentMatcher::scan(MatchState start, const unsigned char* text, size_t length, MatchResult& out) const
{
    out = MatchResult{};
    if (!m_built)
        return false;
    uint32_t state = start < m_nodes.size() ? start : kRootState;
    size_t i = 0;
    uint32_t action = 0;
    if (m_anchorCount != 0 && length >= 4 * size_t{m_maxLength} + 64) {
        if (skipScan<Compact>(text, length, state, i, action)) {
            report<Compact>(action, text, i, out);
            return true;
        }
    } else if (m_startLength != 0 && length >= 256) {
        if (startScan<Compact>(text, length, state, i, action)) {
            report<Compact>(action, text, i, out);
            return true;
        }
    } else if (m_maxLength > 0 && length >= kStreams * (8 * size_t{m_maxLength} + 64)) {
        i = scanInterleaved<Compact>(text, length, state);
    }
    if (run<Compact>(state, text, i, length, action)) {
        report<Compact>(action, text, i, out);
        return true;
    }
    out.state = state;
    return false;
}

// Fills out for the report `action` met at text[i].
template <bool Compact>
void ContentMatcher::report(uint32_t action, const unsigned char* text, size_t i, MatchResult& out) const
{
    const uint32_t target = action & kStateMask;
    std::ptrdiff_t end = static_cast<std::ptrdiff_t>(i);
    if ((action & kKindMask) == kReportLate) {
        // The byte at i is not consumed; the key ended at the key byte before it.
        end = static_cast<std::ptrdiff_t>(i) - 1;
        if (Compact)
            while (end >= 0 && isWhite(text[end]))
                --end;
    }
    out.end = end;
    out.length = m_nodes[target].depth;
    out.keyNumber = m_nodes[target].number;
    out.state = target;
}

bool ContentMatcher::Scan(MatchState start, const char* text, size_t length, MatchResult& out) const
{
    return scan<false>(start, reinterpret_cast<const unsigned char*>(text), length, out);
}

bool ContentMatcher::ScanCompact(MatchState start, const char* text, size_t length, MatchResult& out) const
{
    return scan<true>(start, reinterpret_cast<const unsigned char*>(text), length, out);
}

size_t ContentMatcher::TailStart(const char* text, size_t length, size_t keyBytes)
{
    size_t i = length;
    for (size_t seen = 0; seen < keyBytes; ++seen) {
        do {
            if (i == 0)
                return std::string_view::npos;
            --i;
        } while (isWhite(static_cast<unsigned char>(text[i])));
    }
    return i;
}

bool ContentMatcher::StateAfter(const char* text, size_t length, MatchState& out) const
{
    if (!m_built || !m_hasKeys) {
        out = kRootState;
        return true;
    }
    // No state is deeper than the longest key, so these bytes settle it.
    const size_t from = TailStart(text, length, m_maxLength);
    if (from == std::string_view::npos)
        return false;
    MatchResult r;
    if (ScanCompact(kRootState, text + from, length - from, r))
        return false;
    out = r.state;
    return true;
}

std::vector<std::string_view> ContentMatcher::Keys() const
{
    std::vector<std::string_view> keys;
    if (!m_built)
        return keys;
    for (uint32_t n = 0; n < m_nodes.size(); ++n)
        if (m_nodes[n].keyText != 0)
            keys.push_back(KeyText(n));
    return keys;
}

std::string_view ContentMatcher::KeyText(MatchState state) const
{
    if (!m_built || state >= m_nodes.size() || m_nodes[state].keyText == 0)
        return {};
    return std::string_view(m_keyText).substr(m_nodes[state].keyText - 1, m_nodes[state].depth);
}

size_t ContentMatcher::MemoryBytes() const
{
    return m_trie.capacity() * sizeof(TrieNode) + m_keyText.capacity() + m_nodes.capacity() * sizeof(Node) +
           m_childClass.capacity() + m_childNode.capacity() * sizeof(uint32_t) + m_rows.size() * sizeof(uint16_t) +
           m_specials.capacity() * sizeof(uint32_t) + m_startBits.capacity() * sizeof(uint64_t) +
           m_startSlots.capacity() * sizeof(StartSlot) + m_levelEnd.capacity() * sizeof(uint32_t);
}
