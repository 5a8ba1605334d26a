#pragma once

#include <map>
#include <string>

#include "core/SettingsPage.h"

/// One of the three per-group list pages: the group's list, one entry per line, and the
/// switch that turns the list on for the group. Lines are checked by the library's list
/// checks, so Vantrel and zpfctl refuse the same entries.
class ListPage final : public SettingsPage {
public:
    enum class Kind { Phrase, NoFilter, PassUrl };

    ListPage(SettingsDocument& document, Kind kind);
    std::string caption() const override;
    bool perGroup() const override { return true; }
    void LoadGroup(int group) override;
    void StoreGroup(int group) override;
    /// The first line that cannot be stored ("N行目..."), or a list too large for its file.
    std::string Validate() const override;

    Kind kind() const { return m_kind; }
    /// The check box's label and the text explaining the lines.
    const char* switchLabel() const;
    const char* explanation() const;

    /// The list as the edit box shows it (UTF-8, lines ending in LF).
    const std::string& text() const { return m_text; }
    /// A user's edit; CR LF is taken as LF.
    void SetText(const std::string& utf8);
    bool switchOn() const { return m_switch; }
    void SetSwitch(bool on);
    /// The edit box can be edited only while the switch is on (its text is stored either way).
    bool editable() const { return m_switch; }
    /// Lines that hold an entry.
    int entryCount() const;

private:
    struct Checked {
        std::string sjis;
        std::string error;
    };
    Checked check() const;
    int* switchIn(int group);

    Kind m_kind;
    std::string m_text;
    std::string m_loadedText;
    bool m_switch = false;
    bool m_loadedSwitch = false;
    int m_group = 0;
    /// Each loaded line as shown and as stored, so an untouched line keeps its bytes.
    std::map<std::string, std::string> m_loadedLines;
};
