// Feeds arbitrary bytes to the zpf.cnf reader, as a plain file or as an enciphered
// body behind the marker line (chosen by the first input byte).
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "cipher/CDes.h"
#include "common/BaseDirectory.h"
#include "config/ConfigrationFile.h"

namespace {
class FuzzConfig : public ConfigrationFileSigleton {
public:
    FuzzConfig()
    {
        AddGroup("g1");
        AddGroup("g2");
    }
};

std::string tempPath()
{
    static std::string path = "/tmp/zpf-fuzz-config-" + std::to_string(::getpid()) + ".cnf";
    return path;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = tempPath();
    bool ciphered = size > 0 && (data[0] & 1);
    const char* body = reinterpret_cast<const char*>(data) + (size > 0 ? 1 : 0);
    int bodySize = static_cast<int>(size > 0 ? size - 1 : 0);
    if (ciphered) {
        CDes des;
        des.SettingSystem(1);
        if (des.OpenWriteFile(path.c_str()) != 0)
            return 0;
        des.WriteString("PLXharbor\r\n");
        des.WriteData(body, bodySize);
        des.CloseWriteFile(1);
    } else {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f)
            return 0;
        std::fwrite(body, 1, static_cast<size_t>(bodySize), f);
        std::fclose(f);
    }
    FuzzConfig cnf;
    cnf.SetZpfCnf(path.c_str());
    (void)cnf.ReadZpfCnf();
    (void)cnf.FormatZpfCnf(true);
    return 0;
}
