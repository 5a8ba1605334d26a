// URL key table: building a table of a million host/path keys over 40 categories,
// its memory next to the raw key bytes, and prefix lookups of request URLs. The
// cost of deciphering the same keys in memory is measured alongside for scale.
#include "filterdb/KeyTable.h"

#include "cipher/CDes.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

constexpr size_t kKeys = 1000000;
constexpr int kCategories = 40;

const char* const kSyllables[] = {"ka",   "ki",    "ku",   "ke",  "ko",   "sa",  "shi", "su",    "se",   "so",
                                  "ta",   "chi",   "tsu",  "te",  "to",   "na",  "ni",  "nu",    "ne",   "no",
                                  "ha",   "hi",    "fu",   "he",  "ho",   "ma",  "mi",  "mu",    "me",   "mo",
                                  "ya",   "yu",    "yo",   "ra",  "ri",   "ru",  "re",  "ro",    "wa",   "n",
                                  "blog", "shop",  "news", "web", "net",  "img", "cdn", "adult", "game", "chat",
                                  "club", "video", "free", "top", "best", "my",  "get", "go",    "star", "love"};
const char* const kTlds[] = {".com", ".net", ".org", ".jp", ".co.jp", ".ne.jp", ".or.jp", ".info",
                             ".biz", ".tv",  ".cc",  ".de", ".co.uk", ".ru",    ".cn",    ".com.br"};

struct Key {
    std::string_view text; // into Data::joined, as a loader's line buffer would hold it
    uint16_t number;
};

struct Data {
    std::string joined; // the keys one per line, as a key file holds them
    std::vector<Key> fileOrder; // category after category, each in its own order
    std::vector<Key> sorted;
    std::string queryText;
    std::vector<std::string_view> queries; // request URLs, one after another in queryText
    size_t rawBytes = 0;
};

std::string word(std::mt19937& rng, int minSyl, int maxSyl)
{
    std::string w;
    const int n = minSyl + static_cast<int>(rng() % static_cast<unsigned>(maxSyl - minSyl + 1));
    for (int i = 0; i < n; ++i)
        w += kSyllables[rng() % std::size(kSyllables)];
    return w;
}

std::string host(std::mt19937& rng)
{
    static const char* const kSub[] = {"", "", "www.", "www.", "www.", "m.", "blog.", "img."};
    return kSub[rng() % std::size(kSub)] + word(rng, 2, 4) + kTlds[rng() % std::size(kTlds)];
}

std::string path(std::mt19937& rng)
{
    std::string p;
    const int depth = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < depth; ++i) {
        p += '/';
        if (rng() % 6 == 0)
            p += '~';
        p += word(rng, 1, 3);
    }
    if (rng() % 3 == 0)
        p += rng() % 2 ? "/" : ".html";
    return p;
}

const Data& data()
{
    static const Data d = [] {
        Data out;
        std::mt19937 rng(20240601);
        std::unordered_set<std::string> seen;
        std::vector<std::vector<std::string>> perCategory(kCategories);
        std::vector<std::string> hosts;
        while (seen.size() < kKeys) {
            // A site: sometimes listed whole, usually with a few of its paths, now and
            // then with a path filed under another category.
            const std::string h = host(rng);
            const auto category = static_cast<uint16_t>(1 + rng() % kCategories);
            auto add = [&](std::string k, uint16_t c) {
                if (seen.size() < kKeys && seen.insert(k).second)
                    perCategory[c - 1].push_back(std::move(k));
            };
            if (rng() % 2 == 0)
                add(h, category);
            const int paths = static_cast<int>(rng() % 5);
            for (int i = 0; i < paths; ++i)
                add(h + path(rng), rng() % 5 == 0 ? static_cast<uint16_t>(1 + rng() % kCategories) : category);
            hosts.push_back(h);
        }
        std::vector<std::pair<size_t, uint16_t>> lines; // offset in joined, category
        for (size_t c = 0; c < perCategory.size(); ++c) {
            std::shuffle(perCategory[c].begin(), perCategory[c].end(), rng);
            for (const std::string& k : perCategory[c]) {
                lines.emplace_back(out.joined.size(), static_cast<uint16_t>(c + 1));
                out.rawBytes += k.size();
                out.joined += k;
                out.joined += '\n';
            }
        }
        for (const auto& [at, c] : lines)
            out.fileOrder.push_back({std::string_view(out.joined).substr(at, out.joined.find('\n', at) - at), c});
        out.sorted = out.fileOrder;
        std::sort(out.sorted.begin(), out.sorted.end(), [](const Key& a, const Key& b) { return a.text < b.text; });

        // Requests: half under listed keys, half to sites that are not listed.
        std::vector<std::pair<size_t, size_t>> spans;
        for (size_t i = 0; i < 1 << 20; ++i) {
            std::string q = "http://";
            if (i % 2 == 0)
                q += std::string(out.fileOrder[rng() % out.fileOrder.size()].text) + path(rng) +
                     "?id=" + std::to_string(rng() % 1000);
            else
                q += host(rng) + path(rng);
            spans.emplace_back(out.queryText.size(), q.size());
            out.queryText += q;
        }
        for (const auto& [at, n] : spans)
            out.queries.push_back(std::string_view(out.queryText).substr(at, n));
        return out;
    }();
    return d;
}

long rssKb(const char* field)
{
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    long kb = 0;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0)
            kb = std::atol(line + n);
    std::fclose(f);
    return kb;
}

void build(KeyTable& table, const std::vector<Key>& keys)
{
    for (const Key& k : keys)
        table.Insert(k.text, k.number);
    table.Seal();
}

void BM_KeyTableBuild(benchmark::State& state)
{
    const Data& d = data();
    const auto& keys = state.range(0) ? d.sorted : d.fileOrder;
    size_t entries = 0;
    for (auto _ : state) {
        KeyTable table;
        build(table, keys);
        entries = table.Size();
    }
    state.counters["keys/s"] = benchmark::Counter(
        static_cast<double>(keys.size()) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["entries"] = static_cast<double>(entries);
}
BENCHMARK(BM_KeyTableBuild)->ArgName("sorted")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// For scale: deciphering the same keys (one per line) in memory.
void BM_DecipherSameKeys(benchmark::State& state)
{
    const Data& d = data();
    std::vector<char> buf(d.joined.size() + 8);
    for (auto _ : state) {
        std::memcpy(buf.data(), d.joined.data(), d.joined.size());
        CDes des;
        des.SettingSystem(0);
        des.TransData(buf.data(), static_cast<int>(d.joined.size()));
        benchmark::DoNotOptimize(buf.data());
    }
    state.counters["keys/s"] = benchmark::Counter(
        static_cast<double>(d.fileOrder.size()) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecipherSameKeys)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_KeyTableMemory(benchmark::State& state)
{
    const Data& d = data();
    const long before = rssKb("VmRSS:");
    KeyTable table;
    for (const Key& k : d.fileOrder)
        table.Insert(k.text, k.number);
    const size_t unsealed = table.MemoryBytes();
    table.Seal();
    const long after = rssKb("VmRSS:");
    for (auto _ : state)
        benchmark::DoNotOptimize(table.Size());
    state.counters["raw_MB"] = static_cast<double>(d.rawBytes) / 1e6;
    state.counters["table_MB"] = static_cast<double>(table.MemoryBytes()) / 1e6;
    state.counters["before_seal_MB"] = static_cast<double>(unsealed) / 1e6;
    state.counters["table/raw"] = static_cast<double>(table.MemoryBytes()) / static_cast<double>(d.rawBytes);
    state.counters["rss_delta_MB"] = static_cast<double>(after - before) / 1e3;
    state.counters["peak_rss_MB"] = static_cast<double>(rssKb("VmHWM:")) / 1e3;
}
BENCHMARK(BM_KeyTableMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_KeyTableLookup(benchmark::State& state)
{
    const Data& d = data();
    static KeyTable table;
    if (table.Empty())
        build(table, d.fileOrder);
    size_t i = 0;
    size_t hits = 0;
    for (auto _ : state) {
        const auto r = table.LookupKeys(d.queries[i++ & (d.queries.size() - 1)], state.range(0) != 0);
        hits += !r->Empty();
    }
    state.counters["lookups/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["hit%"] = 100.0 * static_cast<double>(hits) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_KeyTableLookup)->ArgName("exact")->Arg(0)->Arg(1)->MinTime(3.0);

} // namespace

BENCHMARK_MAIN();
