// Deciphers arbitrary file contents by line and by chunk: nothing may crash, write
// past the caller's buffer or loop without end.
//
// Input: byte 0 chooses the parameters (bit 0 clear: the system's; set: mode, unit
// and shift from the other bits and byte 3), bytes 1-2 the ReadLine size, byte 4 the
// ReadData length; the rest is the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "cipher/CDes.h"

namespace {

class TempFile {
public:
    TempFile()
    {
        std::string name = (std::filesystem::temp_directory_path() / "cipherfuzz.XXXXXX").string();
        const int fd = ::mkstemp(name.data());
        check(fd >= 0);
        ::close(fd);
        m_path = name;
    }
    ~TempFile() { std::remove(m_path.c_str()); }
    const char* path() const { return m_path.c_str(); }

private:
    std::string m_path;
};

void setUp(CDes& des, const uint8_t* header)
{
    if ((header[0] & 1) == 0) {
        des.SettingSystem(0);
        return;
    }
    const int mode = header[0] >> 1 & 7; // 0 and 5..7 are refused, which must be harmless too
    const int unit = (header[0] >> 4 & 7) + 1;
    const int shift = header[3] % 70;
    des.Setting(header[0] >> 7, mode, "0123456789ABCDEF", "FEDCBA9876543210", unit, shift);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr size_t kHeader = 5;
    if (size < kHeader)
        return 0;
    static TempFile file;
    const uint8_t* body = data + kHeader;
    const size_t bodySize = size - kHeader;
    {
        std::FILE* f = std::fopen(file.path(), "wb");
        if (!f)
            return 0;
        if (bodySize)
            std::fwrite(body, 1, bodySize, f);
        std::fclose(f);
    }

    // Lines: the buffer holds exactly size + 1 bytes, so any overrun is caught.
    const int lineSize = (data[1] | data[2] << 8) % 40000 - 1;
    std::vector<char> line(static_cast<size_t>(lineSize < 0 ? 1 : lineSize + 1));
    {
        CDes des;
        setUp(des, data);
        if (des.OpenReadFile(file.path()) != 0)
            return 0;
        // Every call consumes at least one byte or ends, so this many calls must reach the end.
        const size_t bound = bodySize + 16;
        size_t calls = 0;
        for (;; ++calls) {
            check(calls <= bound);
            const int status = des.ReadLine(line.data(), lineSize);
            if (status == 1 || (status == -1 && lineSize < 1))
                break;
            check(status != 0 || std::strlen(line.data()) <= static_cast<size_t>(lineSize));
        }
    }

    // Chunks: the buffer holds exactly the length asked for.
    const int chunk = data[4] * 5;
    std::vector<char> buf(static_cast<size_t>(chunk));
    {
        CDes des;
        setUp(des, data);
        if (des.OpenReadFile(file.path()) != 0)
            return 0;
        size_t total = 0;
        for (int n; (n = des.ReadData(buf.data(), chunk)) > 0;) {
            check(n <= chunk);
            total += static_cast<size_t>(n);
            check(total <= bodySize + 8);
        }
    }
    return 0;
}
