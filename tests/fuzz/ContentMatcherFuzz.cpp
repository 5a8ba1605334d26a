// The phrase automaton against a naive one that follows failure links byte by byte:
// both scan the same text in the same pieces and must report the same matches. Also
// checks that the white-blind scan agrees with a scan of the compacted text, that
// the every-end mode reports exactly the keys ending at each byte, that the state
// found from a text's end alone is the state of a whole scan, and that a replace
// chain keeps the data's length and blanks nothing outside the phrases.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "filterdb/ChainPrefilter.h"
#include "filterdb/ContentMatcher.h"
#include "filterdb/PhraseFilterChain.h"

namespace {

bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char lower(char c, bool fold) { return fold && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The text as a white-blind scan sees it.
std::string compacted(const std::string& raw, bool fold)
{
    std::string out;
    for (char c : raw)
        if (!isWhite(c))
            out.push_back(lower(c, fold));
    return out;
}

struct Naive {
    struct Node {
        std::map<signed char, int> children;
        int fail = 0;
        int depth = 0;
        bool terminal = false;
        uint16_t number = 0;
        std::string path;
    };
    std::vector<Node> nodes{Node{}};
    bool fold;
    bool hasKeys = false;
    uint32_t minLength = 1000;
    uint32_t maxLength = 0;

    explicit Naive(bool f)
        : fold(f)
    {
    }
    Node& at(int n) { return nodes[static_cast<size_t>(n)]; }
    const Node& at(int n) const { return nodes[static_cast<size_t>(n)]; }

    void add(const std::string& raw, uint16_t number)
    {
        const std::string key = compacted(raw, fold);
        if (key.empty())
            return;
        const auto len = static_cast<uint32_t>(key.size());
        minLength = hasKeys ? std::min(minLength, len) : len;
        maxLength = hasKeys ? std::max(maxLength, len) : len;
        hasKeys = true;
        int n = 0;
        for (char c : key) {
            auto it = at(n).children.find(static_cast<signed char>(c));
            if (it == at(n).children.end()) {
                Node child;
                child.depth = at(n).depth + 1;
                child.path = at(n).path + c;
                nodes.push_back(child);
                at(n).children[static_cast<signed char>(c)] = static_cast<int>(nodes.size()) - 1;
                n = static_cast<int>(nodes.size()) - 1;
            } else {
                n = it->second;
            }
        }
        at(n).terminal = true;
        if (at(n).number == 0)
            at(n).number = number;
    }

    int child(int n, char c) const
    {
        const auto& ch = at(n).children;
        auto it = ch.find(static_cast<signed char>(c));
        return it == ch.end() ? -1 : it->second;
    }

    void build()
    {
        std::deque<int> queue;
        for (auto& [c, n] : nodes[0].children) {
            at(n).fail = 0;
            queue.push_back(n);
        }
        while (!queue.empty()) {
            const int n = queue.front();
            queue.pop_front();
            for (auto& [c, ch] : at(n).children) {
                int f = at(n).fail;
                while (f != 0 && child(f, static_cast<char>(c)) < 0)
                    f = at(f).fail;
                const int t = child(f, static_cast<char>(c));
                at(ch).fail = t >= 0 && t != ch ? t : 0;
                queue.push_back(ch);
            }
        }
    }

    struct Result {
        bool found = false;
        std::ptrdiff_t end = 0;
        uint32_t length = 0;
        uint16_t number = 0;
        int state = 0;
    };

    Result scan(int state, const std::string& text) const
    {
        Result r;
        int node = state;
        for (size_t i = 0; i < text.size(); ++i) {
            const char c = lower(text[i], fold);
            int n = node;
            for (;;) {
                const int ch = child(n, c);
                if (ch >= 0) {
                    node = ch;
                    if (at(ch).terminal)
                        return {true, static_cast<std::ptrdiff_t>(i), static_cast<uint32_t>(at(ch).depth),
                                at(ch).number, ch};
                    break;
                }
                if (n == 0) {
                    node = 0;
                    break;
                }
                n = at(n).fail;
                if (at(n).terminal)
                    return {true, static_cast<std::ptrdiff_t>(i) - 1, static_cast<uint32_t>(at(n).depth), at(n).number,
                            n};
            }
        }
        r.state = node;
        return r;
    }
};

class Input {
public:
    Input(const uint8_t* d, size_t s)
        : m_data(d)
        , m_size(s)
    {
    }
    uint8_t byte()
    {
        if (m_size == 0)
            return 0;
        --m_size;
        return *m_data++;
    }
    std::string bytes(size_t n, bool small)
    {
        static const char kSmall[] = "abcAB \n\t";
        std::string out;
        while (out.size() < n && m_size > 0) {
            const uint8_t b = byte();
            out.push_back(small ? kSmall[b % 8] : static_cast<char>(b));
        }
        return out;
    }
    std::string rest(bool small) { return bytes(m_size, small); }

private:
    const uint8_t* m_data;
    size_t m_size;
};

// Scans text in pieces with both automata, going on after each match at the byte
// after it (or at the same byte for a key that ended before it), as a recording
// filter does.
void compareScans(const ContentMatcher& m, const Naive& naive, const std::string& text, size_t pieceSize)
{
    MatchState state = ContentMatcher::kRootState;
    int naiveState = 0;
    for (size_t start = 0; start < text.size(); start += pieceSize) {
        const std::string piece = text.substr(start, pieceSize);
        size_t offset = 0;
        for (size_t rounds = 0; offset < piece.size(); ++rounds) {
            check(rounds < 4 * piece.size() + 2000);
            MatchResult r;
            const bool found = m.Scan(state, piece.data() + offset, piece.size() - offset, r);
            const Naive::Result n = naive.scan(naiveState, piece.substr(offset));
            check(found == n.found);
            state = r.state;
            naiveState = n.state;
            if (!found)
                break;
            check(r.end == n.end && r.length == n.length && r.keyNumber == n.number);
            check(m.KeyText(r.state) == naive.at(n.state).path);
            offset = static_cast<size_t>(std::max<std::ptrdiff_t>(0, static_cast<std::ptrdiff_t>(offset) + r.end + 1));
        }
    }
}

void compareCompact(const ContentMatcher& m, const std::string& raw)
{
    std::string compact;
    std::vector<std::ptrdiff_t> at;
    for (size_t i = 0; i < raw.size(); ++i)
        if (!isWhite(raw[i])) {
            compact.push_back(raw[i]);
            at.push_back(static_cast<std::ptrdiff_t>(i));
        }
    MatchResult a;
    MatchResult b;
    const bool fa = m.ScanCompact(ContentMatcher::kRootState, raw.data(), raw.size(), a);
    const bool fb = m.Scan(ContentMatcher::kRootState, compact.data(), compact.size(), b);
    check(fa == fb && a.state == b.state && a.length == b.length && a.keyNumber == b.keyNumber);
    if (fa)
        check(b.end < 0 ? a.end == -1 : a.end == at[static_cast<size_t>(b.end)]);
}

// Every-end mode reports at each key byte the OR of the masks of all keys ending there.
void compareEveryEnd(const std::vector<std::pair<std::string, uint16_t>>& keys, bool fold, const std::string& raw)
{
    ContentMatcher every(fold, true);
    std::vector<std::pair<std::string, uint16_t>> compactKeys;
    for (const auto& [key, mask] : keys) {
        check(!every.AddKey(key, mask));
        const std::string k = compacted(key, fold);
        if (!k.empty())
            compactKeys.emplace_back(k, mask);
    }
    every.Build();
    const std::string text = compacted(raw, fold);
    std::vector<uint16_t> expected(text.size(), 0);
    for (size_t i = 0; i < text.size(); ++i)
        for (const auto& [k, mask] : compactKeys)
            if (k.size() <= i + 1 && text.compare(i + 1 - k.size(), k.size(), k) == 0)
                expected[i] |= mask;
    std::vector<uint16_t> got(text.size(), 0);
    MatchState state = ContentMatcher::kRootState;
    for (size_t offset = 0; offset < text.size();) {
        MatchResult r;
        const bool found = every.Scan(state, text.data() + offset, text.size() - offset, r);
        state = r.state;
        if (!found)
            break;
        check(r.end >= 0);
        got[offset + static_cast<size_t>(r.end)] = r.keyNumber;
        offset += static_cast<size_t>(r.end) + 1;
    }
    check(got == expected);
}

// Where a white-blind scan of a whole text stands, StateAfter finds from its end alone
// whenever it answers at all.
void compareStateAfter(const ContentMatcher& m, const std::string& raw, size_t pieceSize)
{
    MatchState state = ContentMatcher::kRootState;
    for (size_t end = 0; end < raw.size();) {
        const size_t next = std::min(raw.size(), end + pieceSize);
        // As a recording filter goes on: after a match at the byte after it, or at the
        // same byte for a key that ended before the text (the state is then shallower).
        size_t offset = end;
        for (size_t rounds = 0; offset < next; ++rounds) {
            check(rounds < 4 * raw.size() + 2000);
            MatchResult r;
            const bool found = m.ScanCompact(state, raw.data() + offset, next - offset, r);
            state = r.state;
            if (!found)
                break;
            offset = static_cast<size_t>(std::max<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(offset) + r.end + 1,
                                                                  static_cast<std::ptrdiff_t>(offset)));
        }
        end = next;
        MatchState fromTail = 12345;
        if (m.StateAfter(raw.data(), end, fromTail))
            check(fromTail == state);
    }
}

// A replace filter changes only bytes inside some occurrence of a key in the text,
// white bytes within it included.
void checkBlanksInsidePhrases(const std::vector<std::pair<std::string, uint16_t>>& keys, bool fold,
                              const std::string& raw, const std::string& replaced)
{
    const std::string text = compacted(raw, fold);
    std::vector<size_t> at;
    for (size_t i = 0; i < raw.size(); ++i)
        if (!isWhite(raw[i]))
            at.push_back(i);
    std::vector<bool> inside(raw.size(), false);
    for (const auto& [key, mask] : keys) {
        const std::string k = compacted(key, fold);
        if (k.empty())
            continue;
        for (size_t pos = text.find(k); pos != std::string::npos; pos = text.find(k, pos + 1))
            for (size_t i = at[pos]; i <= at[pos + k.size() - 1]; ++i)
                inside[i] = true;
    }
    for (size_t i = 0; i < raw.size(); ++i)
        check(replaced[i] == raw[i] || inside[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const uint8_t flags = in.byte();
    const bool fold = flags & 1;
    const bool small = flags & 2;
    const size_t pieceSize = 1 + ((flags >> 2) & 15);
    ContentMatcher m(fold);
    Naive naive(fold);
    std::vector<std::pair<std::string, uint16_t>> masks;
    const size_t keys = in.byte() % 24;
    for (size_t k = 0; k < keys; ++k) {
        const size_t len = in.byte() % 24;
        const auto number = static_cast<uint16_t>(in.byte() % 4);
        const std::string key = in.bytes(len, small);
        check(!m.AddKey(key, number));
        naive.add(key, number);
        masks.emplace_back(key, static_cast<uint16_t>(1u << (k % 16)));
    }
    // Now and then only a few shallow states get full rows, so the others are used.
    const uint8_t rows = in.byte();
    m.Build(rows < 128 ? 0 : size_t{rows - 127u} * 16);
    naive.build();
    check(m.HasKeys() == naive.hasKeys && m.MinKeyLength() == naive.minLength && m.MaxKeyLength() == naive.maxLength);

    const std::string text = in.rest(small);
    compareScans(m, naive, text, (flags & 0x40) ? text.size() + 1 : pieceSize);
    compareCompact(m, text);
    compareEveryEnd(masks, fold, text);
    compareStateAfter(m, text, pieceSize);

    // A recording block filter and a replace filter, alone and with a prefilter: the
    // same bytes come out, the same matches are recorded, and the length is kept.
    std::string outputs[2];
    std::vector<std::ptrdiff_t> matches[2];
    for (int prefiltered = 0; prefiltered < 2; ++prefiltered) {
        StringSink sink;
        PhraseFilterChain chain(flags & 0x80, &sink);
        chain.InsertFilter(std::make_unique<ReplaceFilter>(&m), 0);
        auto block = std::make_unique<BlockFilter>(&m);
        block->SetBlocking(false);
        BlockFilter* recording = block.get();
        block->EnableRecorder();
        chain.InsertFilter(std::move(block), 0);
        if (prefiltered)
            check(
                chain.SetPrefilter(std::make_shared<const ChainPrefilter>(std::vector<const ContentMatcher*>{&m, &m})));
        for (size_t start = 0; start < text.size(); start += pieceSize)
            check(!chain.Write(text.data() + start, std::min(pieceSize, text.size() - start)));
        chain.Flush();
        check(sink.text.size() == text.size());
        outputs[prefiltered] = sink.text;
        for (const PhraseMatch& match : recording->Recorder()->Matches())
            matches[prefiltered].push_back(match.end);
    }
    check(outputs[0] == outputs[1] && matches[0] == matches[1]);
    checkBlanksInsidePhrases(masks, fold, text, outputs[0]);
    return 0;
}
