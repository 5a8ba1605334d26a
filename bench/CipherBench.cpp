// Deciphering speed of an enciphered 50 MB file with the system's parameters, the
// way the readers take it (chunks and lines), next to the crypto library's DES-ECB
// over the same bytes.
#include "cipher/CDes.h"

#include <benchmark/benchmark.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <openssl/des.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr size_t kFileBytes = 50 * 1000 * 1000;

// A filter-database-like text: one URL key per line.
std::string makeText()
{
    std::string text;
    text.reserve(kFileBytes + 64);
    for (unsigned i = 0; text.size() < kFileBytes; ++i)
        text += "www.site" + std::to_string(i * 2654435761u % 1000000u) + ".example/path/" + std::to_string(i) + "\n";
    text.resize(kFileBytes);
    return text;
}

// The enciphered file, made once per run and removed at exit.
class BenchFile {
public:
    BenchFile()
    {
        std::string dir = (std::filesystem::temp_directory_path() / "cipherbench.XXXXXX").string();
        if (!::mkdtemp(dir.data()))
            std::abort();
        m_dir = dir;
        m_path = dir + "/keys.fdb";
        const std::string text = makeText();
        CDes des;
        des.SettingSystem(1);
        if (des.OpenWriteFile(m_path.c_str()) != 0)
            std::abort();
        des.WriteData(text.data(), static_cast<int>(text.size()));
        des.CloseWriteFile(1);
        m_size = std::filesystem::file_size(m_path);
    }
    ~BenchFile()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    const char* path() const { return m_path.c_str(); }
    size_t size() const { return m_size; }

private:
    std::string m_dir;
    std::string m_path;
    size_t m_size = 0;
};

const BenchFile& benchFile()
{
    static BenchFile file;
    return file;
}

void setRate(benchmark::State& state, size_t bytes)
{
    const double total = static_cast<double>(bytes) * static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(total));
    state.counters["MB"] = benchmark::Counter(total / 1e6, benchmark::Counter::kIsRate);
}

void BM_CipherReadData(benchmark::State& state)
{
    const BenchFile& file = benchFile();
    std::vector<char> buf(16380);
    size_t total = 0;
    for (auto _ : state) {
        CDes des;
        des.SettingSystem(0);
        if (des.OpenReadFile(file.path()) != 0)
            state.SkipWithError("cannot open the file");
        total = 0;
        for (int n; (n = des.ReadData(buf.data(), static_cast<int>(buf.size()))) > 0;)
            total += static_cast<size_t>(n);
        benchmark::DoNotOptimize(buf.data());
    }
    setRate(state, total);
}
BENCHMARK(BM_CipherReadData)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_CipherReadLine(benchmark::State& state)
{
    const BenchFile& file = benchFile();
    char line[2049];
    for (auto _ : state) {
        CDes des;
        des.SettingSystem(0);
        if (des.OpenReadFile(file.path()) != 0)
            state.SkipWithError("cannot open the file");
        size_t lines = 0;
        while (des.ReadLine(line, 2048) != 1)
            ++lines;
        benchmark::DoNotOptimize(lines);
    }
    setRate(state, file.size());
}
BENCHMARK(BM_CipherReadLine)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The block function alone: ECB over the same number of bytes in memory.
void BM_CipherEcbInMemory(benchmark::State& state)
{
    std::vector<char> data(kFileBytes / 8 * 8 + 8, 'k');
    for (auto _ : state) {
        CDes des;
        des.Setting(0, 1, CDes::kKey, CDes::kIV, 8, 64);
        des.TransData(data.data(), static_cast<int>(data.size() - 8));
        benchmark::DoNotOptimize(data.data());
    }
    setRate(state, data.size() - 8);
}
BENCHMARK(BM_CipherEcbInMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_OpenSslDesEcb(benchmark::State& state)
{
    std::vector<unsigned char> data(kFileBytes / 8 * 8, 'k');
    DES_cblock key = {0x3C, 0x91, 0xD0, 0x7A, 0x5E, 0xF2, 0xB8, 0x64};
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    for (auto _ : state) {
        for (size_t at = 0; at < data.size(); at += 8) {
            auto* block = reinterpret_cast<DES_cblock*>(data.data() + at);
            DES_ecb_encrypt(block, block, &schedule, DES_DECRYPT);
        }
        benchmark::DoNotOptimize(data.data());
    }
    setRate(state, data.size());
}
BENCHMARK(BM_OpenSslDesEcb)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

#pragma GCC diagnostic pop

BENCHMARK_MAIN();
