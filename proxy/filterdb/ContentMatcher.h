#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// Where a scan stopped: pass it to the next scan of the same matcher so a key that
/// spans two pieces of text is still found. kRootState starts afresh.
using MatchState = uint32_t;

/// What a scan reports. All zero except state when nothing was found.
struct MatchResult {
    std::ptrdiff_t end = 0; ///< index of the key's last byte in the text; -1 when it ended just before
    uint32_t length = 0; ///< bytes of the key
    uint16_t keyNumber = 0; ///< number of the first key added that ends at that state
    MatchState state = 0; ///< the state where the scan stopped
};

/// The phrase automaton of one key list: finds the first key that occurs in a text.
///
/// Keys lose their spaces, tabs, CR and LF when added, and with case folding their
/// ASCII capitals. A key that is a proper suffix of a longer partial match is seen
/// only when a later byte fails to continue that match, and is then reported one
/// byte late (ending at the previous byte) without that byte being consumed.
///
/// With everyEnd set, a matcher instead reports every place where any key ends, at
/// once, and key numbers are bit masks: a key's number is the OR of the numbers it
/// was added with, and a report carries the OR over every key that ends there.
///
/// Add every key, then Build once; afterwards the matcher is read-only and any
/// number of threads may scan with it at once.
class ContentMatcher {
public:
    static constexpr MatchState kRootState = 0;
    /// Upper bound on the automaton's states (about one per key byte).
    static constexpr size_t kMaxStates = size_t{1} << 26;

    explicit ContentMatcher(bool caseFolding = true, bool everyEnd = false)
        : m_caseFolding(caseFolding)
        , m_everyEnd(everyEnd)
    {
    }

    /// Adds a key with its number; a key that is empty without its white space is
    /// skipped. Returns true (nothing added) when the matcher is already built or
    /// would exceed kMaxStates.
    bool AddKey(std::string_view key, uint16_t number);
    /// Computes the automaton from the keys added. Until then Scan finds nothing.
    /// rowBytes caps the memory of the full transition rows of shallow states (at
    /// least the root keeps one); 0 lets the matcher choose by its size.
    void Build(size_t rowBytes = 0);
    bool IsBuilt() const { return m_built; }

    /// Scans text from start (kRootState, or the state of an earlier scan) and stops
    /// at the first match. Returns true when a key was found; out.state is always set.
    bool Scan(MatchState start, const char* text, size_t length, MatchResult& out) const;
    /// The same scan over text as if its spaces, tabs, CR and LF were absent: the
    /// match length counts key bytes only, and out.end is the position in text of
    /// the key's last byte, or -1 when that byte lies before text.
    bool ScanCompact(MatchState start, const char* text, size_t length, MatchResult& out) const;

    /// Where a white-blind scan of any text ending in text[0, length) stands at its
    /// end, found from the last MaxKeyLength() key bytes alone. False when text has
    /// fewer key bytes than that, or a key ends among them; out is then unchanged.
    bool StateAfter(const char* text, size_t length, MatchState& out) const;
    /// The bytes a white-blind scan passes over: space, tab, CR and LF.
    static bool IsWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
    /// Index in text where its last keyBytes non-white bytes begin; npos when it has
    /// fewer.
    static size_t TailStart(const char* text, size_t length, size_t keyBytes);

    bool CaseFolding() const { return m_caseFolding; }
    /// Every key added, as stored (compacted, folded), once each; empty until built.
    std::vector<std::string_view> Keys() const;

    /// Shortest and longest key added; 1000 and 0 while there are none.
    uint32_t MinKeyLength() const { return m_minLength; }
    uint32_t MaxKeyLength() const { return m_maxLength; }
    bool HasKeys() const { return m_hasKeys; }
    /// Whether every key holds one of a few bytes rare in web pages, so long scans run
    /// the automaton only near those bytes and pass over the rest at memory speed.
    bool SkipsToRareBytes() const { return m_anchorCount != 0; }

    /// The key (as stored: compacted, folded) that ends at a state a scan reported;
    /// empty for any other state.
    std::string_view KeyText(MatchState state) const;
    size_t StateCount() const { return m_built ? m_nodes.size() : m_trie.size(); }
    /// Bytes held by the automaton's own storage.
    size_t MemoryBytes() const;

private:
    // Insertion trie, dropped by Build.
    struct TrieNode {
        uint32_t firstChild = 0; // 0: none (the root is never a child)
        uint32_t nextSibling = 0;
        uint32_t keyText = 0; // 1 + offset of the key in m_keyText; 0: no key ends here
        uint16_t number = 0;
        unsigned char label = 0;
    };

    // Built automaton. States are numbered breadth first, so the first m_denseCount
    // (the shallow ones, where scans spend their time) also have a full row of
    // transitions; deeper states keep only their children and fall back along their
    // failure links to a row.
    struct Node {
        uint32_t fail; // top bit (after Build): the failure state is a key end
        uint32_t childBegin; // into m_childClass / m_childNode, sorted by class
        uint32_t depth;
        uint32_t keyText; // 1 + offset in m_keyText for a key end; 0 otherwise
        uint16_t number;
        uint16_t childCount;
    };

    // An action: below kSpecial a shallow state to move to without a report;
    // otherwise a kind and a state. Rows hold actions in 16 bits: a code below
    // m_denseCount is the state itself, any other indexes m_specials.
    static constexpr uint32_t kSpecial = 0x80000000u;
    static constexpr uint32_t kReportNow = kSpecial; // move to a key end and report it
    static constexpr uint32_t kReportLate = kSpecial | 0x20000000u; // report a key that ended one byte before
    static constexpr uint32_t kEnterDeep = kSpecial | 0x40000000u; // move to a state without a row
    static constexpr uint32_t kKindMask = 0xE0000000u;
    static constexpr uint32_t kStateMask = 0x1FFFFFFFu;

    // A state that reports: a key ends there, or with everyEnd anywhere on its failure chain.
    bool isKeyEnd(uint32_t state) const
    {
        return m_nodes[state].keyText != 0 || (m_everyEnd && m_nodes[state].number != 0);
    }
    void assignClasses();
    void numberStates();
    void linkFailures();
    uint32_t moveTo(uint32_t state) const;
    uint32_t childOf(uint32_t state, unsigned cls) const; // while building; kStateMask when none
    static constexpr uint32_t kFailsToKeyEnd = 0x80000000u;
    uint32_t deepStep(uint32_t state, unsigned cls) const;
    uint32_t rowAction(uint32_t state, unsigned cls) const
    {
        const uint32_t code = m_rows[(size_t{state} << m_shift) + cls];
        return code < m_denseCount ? code : m_specials[code - m_denseCount];
    }
    bool buildRows(uint32_t count);
    void chooseAnchors();
    template <bool Compact>
    bool scan(MatchState start, const unsigned char* text, size_t length, MatchResult& out) const;
    template <bool Compact>
    bool run(uint32_t& state, const unsigned char* text, size_t& i, size_t to, uint32_t& action) const;
    template <bool Compact>
    bool skipScan(const unsigned char* text, size_t length, uint32_t& state, size_t& i, uint32_t& action) const;
    template <bool Compact> bool step(uint32_t& state, unsigned cls, uint32_t& action) const;
    template <bool Compact>
    bool settle(uint32_t& state, const unsigned char* text, size_t length, size_t& i, uint32_t& action) const;
    void buildStarts();
    uint32_t startAction(uint64_t start) const;
    template <bool Compact>
    bool startScan(const unsigned char* text, size_t length, uint32_t& state, size_t& i, uint32_t& action) const;
    static constexpr size_t kStreams = 4; // parts of a long text scanned side by side
    template <bool Compact> size_t scanInterleaved(const unsigned char* text, size_t length, uint32_t& state) const;
    template <bool Compact> size_t leadIn(const unsigned char* text, size_t from, bool& inStep) const;
    template <bool Compact> void report(uint32_t action, const unsigned char* text, size_t i, MatchResult& out) const;

    // The rows' storage: aligned so a row's columns share as few cache lines as they
    // can, and on huge pages when large, since scans read it at random.
    class RowTable {
    public:
        RowTable() = default;
        RowTable(RowTable&& other) noexcept
            : m_data(std::exchange(other.m_data, nullptr))
            , m_size(std::exchange(other.m_size, 0))
        {
        }
        RowTable& operator=(RowTable&& other) noexcept
        {
            if (this != &other) {
                release();
                m_data = std::exchange(other.m_data, nullptr);
                m_size = std::exchange(other.m_size, 0);
            }
            return *this;
        }
        RowTable(const RowTable&) = delete;
        RowTable& operator=(const RowTable&) = delete;
        ~RowTable() { release(); }

        /// count zeroed entries; false (and empty) when there is no memory.
        bool Assign(size_t count);
        uint16_t* data() { return m_data; }
        const uint16_t* data() const { return m_data; }
        uint16_t& operator[](size_t i) { return m_data[i]; }
        uint16_t operator[](size_t i) const { return m_data[i]; }
        size_t size() const { return m_size; }

    private:
        void release();
        uint16_t* m_data = nullptr;
        size_t m_size = 0;
    };

    bool m_caseFolding;
    bool m_everyEnd;
    bool m_built = false;
    bool m_hasKeys = false;
    uint32_t m_minLength = 1000;
    uint32_t m_maxLength = 0;

    std::vector<TrieNode> m_trie{TrieNode{}};
    std::string m_keyText;

    static constexpr unsigned char kWhiteColumn = 1;
    unsigned char m_class[256]{}; // byte -> class; 0 for bytes of no key
    unsigned char m_compactClass[256]{}; // the same with white bytes in kWhiteColumn
    uint32_t m_width = 0; // columns in use: the classes and the white column
    unsigned m_shift = 0; // a row holds 1 << m_shift columns
    uint32_t m_denseCount = 0; // states with a row: the first ones breadth first
    std::vector<Node> m_nodes;
    std::vector<uint32_t> m_levelEnd; // per depth: the states of that depth or less
    std::vector<unsigned char> m_childClass;
    std::vector<uint32_t> m_childNode; // child states while building; the moves to them once built
    RowTable m_rows;
    std::vector<uint32_t> m_specials;

    // Skipping: each key holds one of a few bytes rare in web text (its anchor), so a
    // scan need only run the automaton near those bytes.
    static constexpr size_t kMaxAnchors = 4;
    unsigned char m_anchors[kMaxAnchors]{};
    size_t m_anchorCount = 0; // 0: scans read every byte

    // Skipping by key starts: the first m_startLength key bytes of every key, as a
    // number of their classes, are in a bit table (by hash) and a table to the state
    // each leads to. While the automaton is in a state shallower than that, it is off
    // and each byte only tests the key bytes just read against the bit table.
    struct StartSlot {
        uint64_t start = 0; // 0: empty (key bytes have classes from 2)
        uint32_t action = 0;
    };
    unsigned m_startLength = 0; // 0: off
    uint32_t m_startShallow = 0; // states below this have fewer key bytes than a start
    uint16_t m_startSteps[2][256]{}; // per byte, plain and white-blind: class, and 8 to shift it in
    unsigned m_startSlotShift = 0;
    std::vector<uint64_t> m_startBits;
    std::vector<StartSlot> m_startSlots;
};
