// What a durable save of a settings file costs next to a plain rewrite in place.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/FileSystem.h"

namespace {

// A zpf.cnf of the usual size, in the directory the benchmark is run from.
const std::string kText(700, 'x');
const std::string kPath = "bench_save.cnf";

bool writeText(const std::string& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << kText;
    return static_cast<bool>(out.flush());
}

void BM_SaveDurable(benchmark::State& state)
{
    for (auto _ : state)
        if (!platform::ReplaceFileAtomically(kPath, writeText))
            state.SkipWithError("replace failed");
    std::remove(kPath.c_str());
}
BENCHMARK(BM_SaveDurable)->Unit(benchmark::kMicrosecond);

void BM_SaveInPlace(benchmark::State& state)
{
    for (auto _ : state)
        if (!writeText(kPath))
            state.SkipWithError("write failed");
    std::remove(kPath.c_str());
}
BENCHMARK(BM_SaveInPlace)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
