#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/BaseDirectory.h"
#include "support/TempDir.h"

namespace zpftest {

/// A fresh temporary program directory, made the library's base directory for the
/// lifetime of the object and removed afterwards.
class TempProgramDir : public TempDir {
public:
    TempProgramDir() : m_previous(baseDirectory()) { SetBaseDirectory(path()); }
    ~TempProgramDir() { SetBaseDirectory(m_previous); }

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

} // namespace zpftest
