#pragma once

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace platformtest {
using TempDir = zpftest::TempDir;

/// Sets an environment variable, or removes it when no value is given; the old state
/// comes back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : ScopedEnv(name) { ::setenv(name, value.c_str(), 1); }
    explicit ScopedEnv(const char* name) : m_name(name)
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

} // namespace platformtest
