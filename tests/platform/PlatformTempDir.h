#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/TextFile.h"

namespace platformtest {

/// A fresh temporary directory (path with a trailing '/'), removed afterwards.
class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zpfplat.XXXXXX").string();
        EXPECT_NE(::mkdtemp(tmpl.data()), nullptr);
        m_path = tmpl + "/";
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + name; }
    std::string readBytes(const std::string& name) const
    {
        std::string out;
        platform::ReadFileBytes(file(name), out);
        return out;
    }

private:
    std::string m_path;
};

} // namespace platformtest
