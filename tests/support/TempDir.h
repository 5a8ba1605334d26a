#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/TextFile.h"

namespace zpftest {

/// A fresh temporary directory (path with a trailing '/'), removed afterwards.
class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zpftest.XXXXXX").string();
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

    /// Directory with a trailing '/'.
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + name; }

    /// Writes bytes exactly as given, making the folders on the way.
    void writeBytes(const std::string& name, const std::string& bytes) const
    {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(file(name)).parent_path(), ec);
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::string readBytes(const std::string& name) const
    {
        std::string out;
        (void)platform::ReadFileBytes(file(name), out);
        return out;
    }
    /// Every file below the directory, by its path in it, with its bytes.
    std::map<std::string, std::string> files() const
    {
        std::map<std::string, std::string> out;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(m_path)) {
            if (entry.is_regular_file())
                (void)platform::ReadFileBytes(entry.path().string(), out[entry.path().string().substr(m_path.size())]);
        }
        return out;
    }

private:
    std::string m_path;
};

/// Sets an environment variable, or removes it when no value is given; the old state
/// comes back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value)
        : ScopedEnv(name)
    {
        ::setenv(name, value.c_str(), 1);
    }
    explicit ScopedEnv(const char* name)
        : m_name(name)
    {
        const char* old = std::getenv(name);
        m_had = old != nullptr;
        if (old)
            m_old = old;
        ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            ::setenv(m_name, m_old.c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    bool m_had = false;
    std::string m_old;
};

} // namespace zpftest
