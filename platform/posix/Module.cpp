// Shared modules loaded at run time (dlopen).
#include "platform/Module.h"

#include <dlfcn.h>

namespace platform {

bool Module::Load(const std::string& path, std::string* error)
{
    if (m_handle)
        return true;
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle && error) {
        const char* why = ::dlerror();
        *error = why ? why : "cannot load " + path;
    }
    return m_handle != nullptr;
}

void* Module::Symbol(const char* name) const { return m_handle ? ::dlsym(m_handle, name) : nullptr; }

} // namespace platform
