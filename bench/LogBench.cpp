// Lines per second through the log writer from two threads: into the single log with
// a size limit (so cuts happen) and into the per-day files.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/BaseDirectory.h"
#include "log/AccessLogger.h"

namespace {

std::string g_dir;

void setUp(int logFlag)
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "zpfbench.XXXXXX").string();
    if (!::mkdtemp(tmpl.data()))
        std::abort();
    g_dir = tmpl + "/";
    SetBaseDirectory(g_dir);
    LogSettings settings;
    settings.logFlag = logFlag;
    settings.groupNames = {"", "Kids"};
    AccessLogger::getInstance().Configure(settings);
    AccessLogger::getInstance().SetLogSize(1000);
}

void tearDown()
{
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
}

void writeLines(benchmark::State& state, int logFlag)
{
    if (state.thread_index() == 0)
        setUp(logFlag);
    const Ipv4Bytes client{192, 168, 0, static_cast<unsigned char>(10 + state.thread_index())};
    const unsigned keys[] = {12, 40};
    const std::string url = "http://www.example.com/some/path/page.html?query=a,b&x=1";
    long n = 0;
    for (auto _ : state) {
        if (++n % 4 == 0)
            AccessLogger::getInstance().WriteAccess(&client, url, "(URL Block)", keys, 1, true, false);
        else
            AccessLogger::getInstance().WriteAccess(&client, url, "", {}, 1, true, false);
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0)
        tearDown();
}

void BM_SingleLogWithCuts(benchmark::State& state) { writeLines(state, 0); }
void BM_PerDayFiles(benchmark::State& state) { writeLines(state, 1); }

} // namespace

BENCHMARK(BM_SingleLogWithCuts)->Threads(2)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_PerDayFiles)->Threads(2)->UseRealTime()->MinTime(3.0);

BENCHMARK_MAIN();
