#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/BaseDirectory.h"
#include "platform/TextFile.h"

namespace zpftest {

/// A fresh temporary program directory, made the library's base directory for the
/// lifetime of the object and removed afterwards.
class TempProgramDir {
public:
    TempProgramDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zpftest.XXXXXX").string();
        char* made = ::mkdtemp(tmpl.data());
        EXPECT_NE(made, nullptr);
        m_path = tmpl + "/";
        m_previous = baseDirectory();
        SetBaseDirectory(m_path);
    }
    ~TempProgramDir()
    {
        SetBaseDirectory(m_previous);
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempProgramDir(const TempProgramDir&) = delete;
    TempProgramDir& operator=(const TempProgramDir&) = delete;

    /// Directory with a trailing '/'.
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + name; }

    /// Writes bytes exactly as given.
    void writeBytes(const std::string& name, const std::string& bytes) const
    {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string readBytes(const std::string& name) const
    {
        std::string out;
        platform::ReadFileBytes(file(name), out);
        return out;
    }

private:
    std::string m_path;
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

} // namespace zpftest
