// Writing and reading a phrase list of 3000 Japanese phrases in three groups: the
// variant lines cost one code-page conversion per phrase on either side.
#include "config/ListFiles.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "common/Encoding.h"

namespace {

struct Fixture {
    GroupList groups;
    std::vector<std::string> texts = std::vector<std::string>(3);
    std::string file;

    Fixture()
    {
        groups.AddGroup("kids");
        groups.AddGroup("staff");
        const char* words[] = {"出会い系サイト", "(無料[動画])", "ｱﾀﾞﾙﾄ", "ポルノ", "casino", "表現"};
        for (int i = 0; i < 3000; ++i)
            texts[static_cast<size_t>(i % 3)] += encoding::utf8ToSjis(words[i % 6]) + std::to_string(i) + "\n";
        file = listfiles::ListFileText(groups, in(), true, false);
    }
    std::vector<const std::string*> in() const { return {&texts[0], &texts[1], &texts[2]}; }
};

void BM_WritePhraseList(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state)
        benchmark::DoNotOptimize(listfiles::ListFileText(f.groups, f.in(), true, false));
    state.SetItemsProcessed(state.iterations() * 3000);
}
BENCHMARK(BM_WritePhraseList)->Unit(benchmark::kMillisecond);

void BM_ReadPhraseList(benchmark::State& state)
{
    Fixture f;
    std::vector<std::string> back(3);
    for (auto _ : state)
        listfiles::ParseListText(f.file, f.groups, {&back[0], &back[1], &back[2]}, true);
    state.SetItemsProcessed(state.iterations() * 3000);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(f.file.size()));
}
BENCHMARK(BM_ReadPhraseList)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
