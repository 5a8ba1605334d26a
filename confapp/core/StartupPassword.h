#pragma once

#include <string>

/// The password asked before the main window opens.
class StartupPassword {
public:
    /// The longest entry the dialog takes.
    static constexpr size_t kMaxLength = 255;

    /// stored: the stored administrator password (Shift_JIS), "" when there is none.
    explicit StartupPassword(std::string stored)
        : m_stored(std::move(stored))
    {
    }
    /// Whether the dialog must be shown at all.
    bool required() const { return !m_stored.empty(); }
    /// The entry (UTF-8) against the stored password, case-sensitively. "" when it
    /// matches, else the message to show (the dialog then stays open).
    std::string Check(const std::string& entryUtf8) const;

private:
    std::string m_stored;
};
