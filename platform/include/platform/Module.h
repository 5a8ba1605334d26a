#pragma once

#include <string>

namespace platform {

/// A shared module loaded at run time. It stays loaded until the process ends:
/// toolkit modules register exit handlers that must not outlive their code.
class Module {
public:
    /// Loads the module with its own symbols kept local. Returns false and sets *error
    /// to the loader's reason when it cannot be loaded.
    [[nodiscard]] bool Load(const std::string& path, std::string* error = nullptr);
    bool IsLoaded() const { return m_handle != nullptr; }
    /// The address of an exported symbol; null when it is missing or nothing is loaded.
    void* Symbol(const char* name) const;

private:
    void* m_handle = nullptr;
};

} // namespace platform
