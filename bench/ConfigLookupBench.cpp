// Per-request lookups of the configuration: IP restriction and policy lists, the
// schedule state and the account check.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "config/GroupList.h"
#include "config/IPlist.h"
#include "config/PassWord.h"
#include "config/TimeCnfList.h"

namespace {

std::vector<IP> probes(size_t n)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> b(0, 255);
    std::vector<IP> out;
    for (size_t i = 0; i < n; ++i)
        out.emplace_back(10, static_cast<unsigned char>(b(rng)), static_cast<unsigned char>(b(rng)),
                         static_cast<unsigned char>(b(rng)));
    return out;
}

// n /24 ranges under 10.0.0.0/8, some overlapping.
std::vector<std::string> rangeLines(int n)
{
    std::vector<std::string> lines;
    for (int i = 0; i < n; ++i) {
        int a = (i * 37) % 256, c = (i * 11) % 200;
        lines.push_back("10." + std::to_string(a) + "." + std::to_string(c) + ".0-10." + std::to_string(a) + "." +
                        std::to_string(c + i % 3) + ".255");
    }
    return lines;
}

void BM_CheckIP(benchmark::State& state)
{
    IPlist list;
    for (const auto& l : rangeLines(static_cast<int>(state.range(0))))
        list.SetDataFromLine(l.c_str());
    list.active = true;
    auto ips = probes(1024);
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(list.CheckIP(ips[i++ & 1023]));
}
BENCHMARK(BM_CheckIP)->Arg(10)->Arg(500)->Arg(10000);

void BM_CheckIPData(benchmark::State& state)
{
    GroupList groups;
    groups.AddGroup("kids");
    IPDatalist list(&groups);
    for (const auto& l : rangeLines(static_cast<int>(state.range(0))))
        list.SetDataFromLine((l + ";kids;1").c_str());
    auto ips = probes(1024);
    size_t i = 0;
    bool filter;
    int group, mode;
    for (auto _ : state)
        benchmark::DoNotOptimize(list.CheckIPData(ips[i++ & 1023], &filter, &group, &mode));
}
BENCHMARK(BM_CheckIPData)->Arg(10)->Arg(500);

void BM_FilterStatusNow(benchmark::State& state)
{
    GroupList groups;
    TimeCnfList schedule(&groups);
    schedule.PutLineData("off;\n", 0);
    for (int h = 0; h < 24; ++h) {
        std::string line = "on;mon-sun;" + std::to_string(h) + ":00-" + std::to_string(h) + ":30\n";
        schedule.PutLineData(line.c_str(), 0);
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(schedule.FilterStatusNow(0));
}
BENCHMARK(BM_FilterStatusNow);

void BM_CheckAccessClass(benchmark::State& state)
{
    GroupList groups;
    CPassWordData accounts(&groups);
    for (int i = 0; i < state.range(0); ++i)
        accounts.accounts.emplace_back(("user" + std::to_string(i) + ":pw" + std::to_string(i) + ":0;").c_str(),
                                       &groups);
    const std::string last = "user" + std::to_string(state.range(0) - 1) + ":pw" + std::to_string(state.range(0) - 1);
    int group;
    for (auto _ : state)
        benchmark::DoNotOptimize(accounts.CheckAccessClass(last.c_str(), &group, false));
}
BENCHMARK(BM_CheckAccessClass)->Arg(10)->Arg(1000);

} // namespace

BENCHMARK_MAIN();
