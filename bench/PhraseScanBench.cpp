// Phrase scanning of relayed data: 100 MB of HTML-like text in 4096-byte pieces
// through a response chain with one block filter and one replace filter of 10,000
// phrases each, next to memchr over the same bytes as the memory-speed reference.
#include "filterdb/PhraseFilterChain.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kTextBytes = 100u << 20;
constexpr size_t kPiece = 4096;
constexpr size_t kPhrases = 10000;

// Words of an English-like letter model: consonant groups and vowels by rough
// frequency, so page words and phrases share prefixes as real words do. Now and then
// a word is Japanese in UTF-8.
const char* const kOnsets[] = {"t", "n",  "s",  "r",  "h",  "d",  "l",  "c",  "m",  "w",  "f",  "g",  "p",  "b", "v",
                               "k", "th", "st", "ch", "sh", "pr", "tr", "br", "cl", "gr", "wh", "sp", "pl", "j", "y"};
const char* const kVowels[] = {"e", "a", "o", "i", "u", "e", "a", "o", "i", "ea", "ou", "ai", "ee", "io", "y"};
const char* const kCodas[] = {"", "", "", "n", "r", "s", "t", "l", "d", "nd", "st", "ng", "rt", "ck", "m", "x"};
const char* const kKana[] = {"\xe3\x81\x82", "\xe3\x81\x84", "\xe3\x81\x86", "\xe3\x81\x8b", "\xe3\x81\x8d",
                             "\xe3\x81\x95", "\xe3\x81\x9f", "\xe3\x81\xaa", "\xe3\x81\xaf", "\xe3\x81\xbe",
                             "\xe3\x82\xa2", "\xe3\x82\xab", "\xe3\x82\xb5", "\xe3\x82\xbf", "\xe3\x83\x8a"};

std::string word(std::mt19937& rng)
{
    std::string w;
    if (rng() % 12 == 0) {
        for (unsigned i = 0, n = 2 + rng() % 4; i < n; ++i)
            w += kKana[rng() % std::size(kKana)];
        return w;
    }
    for (unsigned i = 0, n = 1 + static_cast<unsigned>(rng() % 3); i < n; ++i) {
        if (i > 0 || rng() % 4)
            w += kOnsets[rng() % std::size(kOnsets)];
        w += kVowels[rng() % std::size(kVowels)];
        w += kCodas[rng() % std::size(kCodas)];
    }
    return w;
}

std::vector<std::string> vocabulary(std::mt19937& rng, size_t n)
{
    std::vector<std::string> v;
    while (v.size() < n)
        v.push_back(word(rng));
    return v;
}

struct Data {
    std::vector<std::string> replacePhrases;
    std::vector<std::string> blockPhrases;
    std::string text;
};

const Data& data()
{
    static const Data d = [] {
        Data out;
        std::mt19937 rng(77);
        // Page words follow a rough Zipf law over their own vocabulary.
        const std::vector<std::string> pageWords = vocabulary(rng, 20000);
        std::vector<double> weights(pageWords.size());
        for (size_t i = 0; i < weights.size(); ++i)
            weights[i] = 1.0 / static_cast<double>(i + 1);
        std::discrete_distribution<size_t> pick(weights.begin(), weights.end());

        // Phrases to blank out: two words of the same make (some capitalised), at
        // least eight letters in all, so they turn up mostly where a page has them.
        while (out.replacePhrases.size() < kPhrases) {
            std::string p = word(rng);
            p += ' ';
            p += word(rng);
            if (p.size() < 9)
                continue;
            if (rng() % 5 == 0 && p[0] >= 'a' && p[0] <= 'z')
                p[0] = static_cast<char>(p[0] - 'a' + 'A');
            out.replacePhrases.push_back(p);
        }
        // Phrases to block on: alike, but each holds a 'q', which no page here has, so
        // the page is never blocked and every byte is scanned.
        while (out.blockPhrases.size() < kPhrases) {
            const std::string w = word(rng);
            const size_t at = rng() % (w.size() + 1);
            const std::string p = w.substr(0, at) + 'q' + w.substr(at);
            if (p.size() >= 5)
                out.blockPhrases.push_back(p);
        }

        static const char* const kTags[] = {
            "<p>",  "</p>",   "<div class=\"c\">", "</div>", "<br>", "<a href=\"/x\">", "</a>",
            "<li>", "<span>", "</span>\n",         "\r\n",   "\t"};
        out.text.reserve(kTextBytes + 256);
        while (out.text.size() < kTextBytes) {
            const auto r = static_cast<unsigned>(rng() % 1000);
            if (r < 120)
                out.text += kTags[rng() % std::size(kTags)];
            else if (r < 121)
                out.text += out.replacePhrases[rng() % kPhrases]; // about one per 6 KB
            else
                out.text += pageWords[pick(rng)];
            out.text += rng() % 8 ? " " : "\n";
        }
        out.text.resize(kTextBytes);
        return out;
    }();
    return d;
}

// The matcher of the block or the replace phrases, from the first `count` of them.
const ContentMatcher& matcher(bool block, size_t count = kPhrases)
{
    static std::map<std::pair<bool, size_t>, std::unique_ptr<ContentMatcher>> made;
    auto& m = made[{block, count}];
    if (!m) {
        const auto& phrases = block ? data().blockPhrases : data().replacePhrases;
        m = std::make_unique<ContentMatcher>(true);
        for (size_t i = 0; i < count; ++i)
            m->AddKey(phrases[i], block ? 2 : 1);
        m->Build();
    }
    return *m;
}

class CountingSink : public DataSink {
public:
    bool Write(const char*, size_t length) override
    {
        bytes += length;
        return false;
    }
    size_t bytes = 0;
};

void setRate(benchmark::State& state, size_t bytes)
{
    state.SetBytesProcessed(static_cast<int64_t>(bytes) * state.iterations());
}

void BM_ResponseChain(benchmark::State& state)
{
    const Data& d = data();
    const auto perFilter = static_cast<size_t>(state.range(0));
    const ContentMatcher& blockMatcher = matcher(true, perFilter);
    const ContentMatcher& replaceMatcher = matcher(false, perFilter);
    // The proxy leaves the prefilter off below three filters; with it on, this shows
    // what it would cost a chain of two.
    const auto prefilter =
        state.range(1)
            ? std::make_shared<const ChainPrefilter>(std::vector<const ContentMatcher*>{&blockMatcher, &replaceMatcher})
            : nullptr;
    size_t matches = 0;
    for (auto _ : state) {
        CountingSink sink;
        PhraseFilterChain chain(false, &sink);
        auto* block = chain.InsertFilter(std::make_unique<BlockFilter>(&blockMatcher), 0);
        auto* replace = chain.InsertFilter(std::make_unique<ReplaceFilter>(&replaceMatcher), 1);
        block->EnableRecorder();
        replace->EnableRecorder();
        if (prefilter)
            chain.SetPrefilter(prefilter);
        for (size_t at = 0; at < d.text.size(); at += kPiece)
            if (chain.Write(d.text.data() + at, std::min(kPiece, d.text.size() - at)))
                state.SkipWithError("the page was blocked");
        chain.Flush();
        matches = replace->Recorder()->Count();
        benchmark::DoNotOptimize(sink.bytes);
    }
    setRate(state, d.text.size());
    state.counters["replaced"] = static_cast<double>(matches);
}
BENCHMARK(BM_ResponseChain)
    ->ArgNames({"phrases_per_filter", "prefilter"})
    ->Args({kPhrases, 0})
    ->Args({kPhrases, 1})
    ->Args({kPhrases / 2, 0})
    ->Args({kPhrases / 2, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0);

// A chain as a group with five categories and its own lists builds it: six block and
// six replace filters of 1,000 phrases each, scanned one filter after another, or
// with the prefilter that finds in one pass the filters that can match a piece.
void BM_ResponseChainOfTwelve(benchmark::State& state)
{
    const Data& d = data();
    constexpr size_t kFilters = 6;
    constexpr size_t kEach = 1000;
    static std::vector<std::unique_ptr<ContentMatcher>> matchers;
    if (matchers.empty()) {
        for (size_t f = 0; f < 2 * kFilters; ++f) {
            const bool block = f < kFilters;
            const auto& phrases = block ? d.blockPhrases : d.replacePhrases;
            auto m = std::make_unique<ContentMatcher>(true);
            for (size_t i = 0; i < kEach; ++i)
                m->AddKey(phrases[(f % kFilters) * kEach + i], block ? 2 : 1);
            m->Build();
            matchers.push_back(std::move(m));
        }
    }
    std::vector<const ContentMatcher*> order;
    for (const auto& m : matchers)
        order.push_back(m.get());
    const auto prefilter = state.range(0) ? std::make_shared<const ChainPrefilter>(order) : nullptr;
    size_t matches = 0;
    for (auto _ : state) {
        CountingSink sink;
        PhraseFilterChain chain(false, &sink);
        std::vector<PhraseFilter*> replaces;
        for (size_t f = 0; f < matchers.size(); ++f) {
            std::unique_ptr<PhraseFilter> filter;
            if (f < kFilters)
                filter = std::make_unique<BlockFilter>(matchers[f].get());
            else
                filter = std::make_unique<ReplaceFilter>(matchers[f].get());
            filter->EnableRecorder();
            PhraseFilter* raw = chain.InsertFilter(std::move(filter), f);
            if (f >= kFilters)
                replaces.push_back(raw);
        }
        if (prefilter && !chain.SetPrefilter(prefilter))
            state.SkipWithError("the prefilter was refused");
        for (size_t at = 0; at < d.text.size(); at += kPiece)
            if (chain.Write(d.text.data() + at, std::min(kPiece, d.text.size() - at)))
                state.SkipWithError("the page was blocked");
        chain.Flush();
        matches = 0;
        for (PhraseFilter* r : replaces)
            matches += r->Recorder()->Count();
        benchmark::DoNotOptimize(sink.bytes);
    }
    setRate(state, d.text.size());
    state.counters["replaced"] = static_cast<double>(matches);
    if (prefilter)
        state.counters["prefilter_MB"] = static_cast<double>(prefilter->MemoryBytes()) / 1e6;
}
BENCHMARK(BM_ResponseChainOfTwelve)->ArgName("prefilter")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// One matcher alone over the pieces, white-blind as the filters scan.
void BM_MatcherScanCompact(benchmark::State& state)
{
    const Data& d = data();
    const ContentMatcher& m = matcher(state.range(0) != 0);
    for (auto _ : state) {
        MatchState s = ContentMatcher::kRootState;
        size_t found = 0;
        for (size_t at = 0; at < d.text.size(); at += kPiece) {
            const size_t n = std::min(kPiece, d.text.size() - at);
            size_t off = 0;
            MatchResult r;
            while (off < n && m.ScanCompact(s, d.text.data() + at + off, n - off, r)) {
                ++found;
                s = r.state;
                off = static_cast<size_t>(std::max<std::ptrdiff_t>(0, static_cast<std::ptrdiff_t>(off) + r.end + 1));
            }
            s = r.state;
        }
        benchmark::DoNotOptimize(found);
    }
    setRate(state, d.text.size());
    state.counters["states"] = static_cast<double>(m.StateCount());
    state.counters["matcher_MB"] = static_cast<double>(m.MemoryBytes()) / 1e6;
}
BENCHMARK(BM_MatcherScanCompact)->ArgName("block")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The physical reference: memchr for a byte that is not there, piece by piece.
void BM_Memchr(benchmark::State& state)
{
    const Data& d = data();
    for (auto _ : state) {
        size_t found = 0;
        for (size_t at = 0; at < d.text.size(); at += kPiece)
            found += std::memchr(d.text.data() + at, '\x01', std::min(kPiece, d.text.size() - at)) != nullptr;
        benchmark::DoNotOptimize(found);
    }
    setRate(state, d.text.size());
}
BENCHMARK(BM_Memchr)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_MatcherBuild(benchmark::State& state)
{
    const Data& d = data();
    for (auto _ : state) {
        ContentMatcher m(true);
        for (const auto& p : d.replacePhrases)
            m.AddKey(p, 1);
        m.Build();
        benchmark::DoNotOptimize(m.StateCount());
    }
}
BENCHMARK(BM_MatcherBuild)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
