#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cipher/CDes.h"
#include "common/BaseDirectory.h"
#include "platform/TextFile.h"
#include "support/TempDir.h"

namespace zpftest {

/// A fresh temporary program directory, made the library's base directory for the
/// lifetime of the object and removed afterwards.
class TempProgramDir : public TempDir {
public:
    TempProgramDir()
        : m_previous(baseDirectory())
    {
        SetBaseDirectory(path());
    }
    ~TempProgramDir() { SetBaseDirectory(m_previous); }

    /// Writes text enciphered as the system's files are, after an optional plain prefix.
    void writeEnciphered(const std::string& name, const std::string& text, const char* plainPrefix = nullptr) const
    {
        CDes des;
        ASSERT_EQ(des.SettingSystem(1), 0);
        ASSERT_EQ(des.OpenWriteFile(file(name).c_str()), 0);
        if (plainPrefix)
            des.WriteString(plainPrefix);
        des.WriteData(text.data(), static_cast<int>(text.size()));
        des.CloseWriteFile(1);
    }

private:
    std::string m_previous;
};

/// Turns LF line ends into CR LF, as a text-mode writer does.
inline std::string Crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

/// The lines of CR LF text without their line ends; a last line without one counts too.
inline std::vector<std::string> CrlfLines(const std::string& bytes)
{
    std::vector<std::string> out;
    for (size_t start = 0; start < bytes.size();) {
        const size_t end = bytes.find("\r\n", start);
        out.push_back(bytes.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 2;
    }
    return out;
}

/// The lines of a CR LF file under tests/data, each with an LF.
inline std::vector<std::string> TestDataLines(const std::string& name)
{
    std::string bytes;
    EXPECT_TRUE(platform::ReadFileBytes(std::string(ZPF_TEST_DATA_DIR "/") + name, bytes)) << name;
    std::vector<std::string> lines = CrlfLines(bytes);
    for (std::string& line : lines)
        line += "\n";
    return lines;
}

} // namespace zpftest
