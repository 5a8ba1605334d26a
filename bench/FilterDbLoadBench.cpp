// Loading a large filter database: 1,000,000 URL keys in 40 enciphered category files
// plus 10,000 phrases, against the time of only deciphering and reading the same lines.
// Prints a table; run through tools/bench.sh.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "cipher/CDes.h"
#include "common/BaseDirectory.h"
#include "config/ConfigrationFile.h"
#include "filterdb/FilterDatabase.h"
#include "platform/TextFile.h"

namespace {

constexpr int kCategories = 40;
constexpr int kKeysPerCategory = 25000;
constexpr int kPhrases = 10000;

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return 0;
}

long peakKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return 0;
}

// CPU time of the whole process (every thread), as the wall clock on a busy machine
// says little.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return sec(usage.ru_utime) + sec(usage.ru_stime);
}

void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main()
{
    std::string dir =
        (std::filesystem::temp_directory_path() / ("zpf-loadbench-" + std::to_string(::getpid()))).string() + "/";
    std::filesystem::create_directories(dir);
    SetBaseDirectory(dir);

    std::mt19937 rng(42);
    const char* words[] = {"news",  "shop",   "video", "game", "blog",  "mail", "photo", "music", "forum", "wiki",
                           "sport", "travel", "food",  "cars", "money", "tech", "home",  "kids",  "style", "movie"};
    auto word = [&] { return std::string(words[rng() % 20]); };
    size_t rawKeyBytes = 0;

    // Category list and its key files, written through the cipher line by line.
    std::string categories;
    for (int c = 0; c < kCategories; ++c) {
        std::string file = "cat" + std::to_string(c) + ".fdb";
        categories += "1|A|0|" + std::to_string(200 + c) + "|category " + std::to_string(c) + "|" + file + "|x\n";
        CDes des;
        des.SettingSystem(1);
        if (des.OpenWriteFile((dir + file).c_str()) != 0)
            return 1;
        for (int k = 0; k < kKeysPerCategory; ++k) {
            std::string key = "www." + word() + std::to_string(rng() % 100000) + "-" + word() + ".example/";
            if (rng() % 3 == 0)
                key += word() + "/" + std::to_string(rng() % 1000) + "/";
            rawKeyBytes += key.size();
            key += '\n';
            des.WriteData(key.data(), static_cast<int>(key.size()));
        }
        std::string end = "*** End of filtering database. ***\n";
        des.WriteData(end.data(), static_cast<int>(end.size()));
        des.CloseWriteFile(1);
    }
    {
        CDes des;
        des.SettingSystem(1);
        if (des.OpenWriteFile((dir + "category2.cnf").c_str()) != 0)
            return 1;
        des.WriteData(categories.data(), static_cast<int>(categories.size()));
        des.CloseWriteFile(1);
    }
    {
        platform::TextFile phrases;
        if (!phrases.Open(dir + "phrase.fdb", "w"))
            return 1;
        bool written = phrases.Puts("\n");
        for (int p = 0; p < kPhrases; ++p) {
            std::string phrase = word() + "phrase" + std::to_string(p);
            rawKeyBytes += phrase.size();
            std::string line(1, p % 2 ? '{' : '[');
            line.append(phrase).push_back(p % 2 ? '}' : ']');
            line.push_back('\n');
            written = phrases.Puts(line) && written;
        }
        if (!phrases.Close() || !written)
            return 1;
    }
    for (const char* f : {"nofilter.fdb", "passurl.fdb", "zpf.cnf", "time.cnf"})
        std::ofstream(dir + f) << "\r\n";

    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    cnf->SetDefaultPaths();
    if (cnf->Initialize())
        return 1;

    // Reference: decipher and read every line, doing nothing with it.
    auto t0 = std::chrono::steady_clock::now();
    const double c0 = cpuSeconds();
    long lines = 0;
    for (int c = 0; c < kCategories; ++c) {
        CDes des;
        des.SettingSystem(0);
        if (des.OpenReadFile((dir + "cat" + std::to_string(c) + ".fdb").c_str()) != 0)
            return 1;
        char buf[2049];
        while (des.ReadLine(buf, 2048) == 0)
            ++lines;
        des.CloseReadFile();
    }
    {
        platform::TextFile phrases;
        if (!phrases.Open(dir + "phrase.fdb", "r"))
            return 1;
        char buf[2048];
        while (phrases.Gets(buf, sizeof buf))
            ++lines;
    }
    double readOnly = seconds(t0);
    const double readOnlyCpu = cpuSeconds() - c0;

    long before = residentKb();
    resetPeak();
    auto t1 = std::chrono::steady_clock::now();
    const double c1 = cpuSeconds();
    {
        FilterDatabase db;
        db.SetErrorSink([](const std::string& e) { std::fprintf(stderr, "%s\n", e.c_str()); });
        db.Load(true);
        double load = seconds(t1);
        const double loadCpu = cpuSeconds() - c1;
        long peak = peakKb();
        long after = residentKb();
        size_t tableBytes = 0;
        size_t entries = 0;
        for (int c = 0; c < kCategories; ++c) {
            tableBytes += db.GetKeyTable(TableKind::CategoryUrls, c)->MemoryBytes();
            entries += db.GetKeyTable(TableKind::CategoryUrls, c)->Size();
        }
        std::printf("| measure | value |\n|---|---|\n");
        std::printf("| URL keys written | %d in %d enciphered files |\n", kCategories * kKeysPerCategory, kCategories);
        std::printf("| phrases | %d |\n", kPhrases);
        std::printf("| raw key bytes | %.1f MB |\n", static_cast<double>(rawKeyBytes) / 1e6);
        std::printf("| lines read | %ld |\n", lines);
        std::printf("| decipher + read only | %.3f s |\n", readOnly);
        std::printf("| FilterDatabase::Load | %.3f s |\n", load);
        std::printf("| table building on top of reading | %.3f s (%.2fx the reading) |\n", load - readOnly,
                    (load - readOnly) / readOnly);
        std::printf("| CPU time: decipher + read only / Load | %.3f s / %.3f s (%.2fx) |\n", readOnlyCpu, loadCpu,
                    loadCpu / readOnlyCpu);
        std::printf("| table entries / table bytes | %zu / %.1f MB |\n", entries,
                    static_cast<double>(tableBytes) / 1e6);
        std::printf("| resident after load (growth) | %.1f MB |\n", static_cast<double>(after - before) / 1e3);
        std::printf("| peak during load (growth) | %.1f MB = %.2fx raw key bytes |\n",
                    static_cast<double>(peak - before) / 1e3,
                    static_cast<double>(peak - before) * 1e3 / static_cast<double>(rawKeyBytes));
    }
    std::filesystem::remove_all(dir);
    return 0;
}
