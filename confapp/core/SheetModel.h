#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/Pages.h"
#include "core/SettingsPage.h"

/// The tabs of the settings sheet, in their order.
enum class SheetTab {
    Group,
    Option,
    BlkPhrase,
    NoFilter,
    PassUrl,
    Time,
    Server,
    IPRestriction,
    IPException,
    AuthAccount,
    Keep,
    Version
};

struct SheetTabInfo {
    SheetTab tab;
    const char* caption;
    bool perGroup;
    /// Only the network edition shows it.
    bool networkOnly;
};

/// Every tab of the sheet, in order.
const std::vector<SheetTabInfo>& AllSheetTabs();
/// The tabs the edition shows.
std::vector<SheetTabInfo> EditionTabs(bool standalone);

/// The settings sheet without its widgets: its pages, the group being edited and the
/// group selector's entries.
class SheetModel {
public:
    struct GroupEntry {
        int group;
        std::string name;
    };

    /// Makes a page for every tab of the edition; makePage may return null for a tab
    /// whose page does not exist yet (an empty page is used).
    using PageFactory = std::unique_ptr<SettingsPage> (*)(SheetTab, SettingsDocument&);
    SheetModel(SettingsDocument& document, bool standalone, PageFactory makePage = MakeSettingsPage);

    const std::vector<std::unique_ptr<SettingsPage>>& pages() const { return m_pages; }
    const std::vector<SheetTab>& tabs() const { return m_tabs; }
    bool hasGroupSelector() const { return !m_standalone; }

    /// Groups not marked deleted, group 0 first as "(default)".
    std::vector<GroupEntry> GroupEntries() const;
    int currentGroup() const { return m_group; }

    /// The user opened the tab at index: its page may store from now on. Returns
    /// whether the group selector shows while that tab is active.
    bool OpenTab(std::size_t index);

    /// Opening: every page loads, the per-group pages load the current group (group
    /// 0 when it has gone).
    void Open(int group);
    /// The per-group pages store the old group and load the new one. Returns the
    /// first page's refusal ("" when the switch happened).
    std::string SelectGroup(int group);
    /// Closing (both ways keep the changes). Returns the first page's refusal; ""
    /// when every page stored. modified() tells whether anything changed.
    std::string Close();
    bool modified() const { return m_modified; }

private:
    SettingsDocument& m_document;
    bool m_standalone;
    std::vector<SheetTab> m_tabs;
    std::vector<std::unique_ptr<SettingsPage>> m_pages;
    int m_group = 0;
    bool m_modified = false;
};
