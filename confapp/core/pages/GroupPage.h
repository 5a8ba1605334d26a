#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/SettingsPage.h"

/// The group list: add, rename and delete groups. The changes reach the document at
/// once (other pages list the groups), and the sheet's group selector is told.
class GroupPage final : public SettingsPage {
public:
    struct Item {
        int group;
        std::string name; ///< UTF-8
    };

    using SettingsPage::SettingsPage;
    std::string caption() const override;
    void Load() override;

    /// Every live group but group 0, sorted by name.
    const std::vector<Item>& items() const { return m_items; }
    /// The list row selected, or -1.
    int selected() const { return m_selected; }
    const std::string& nameField() const { return m_name; }
    bool canModify() const { return m_selected >= 0; }

    void SetName(std::string name) { m_name = std::move(name); }
    /// Selecting a row copies its name into the field; -1 clears the selection.
    void Select(int row);
    /// Each returns "" when done, else the message for the user (nothing changed).
    std::string Add();
    std::string Rename();
    std::string Delete();

    /// Called after the groups changed, so the group selector is rebuilt.
    void SetGroupsChangedCallback(std::function<void()> callback) { m_groupsChanged = std::move(callback); }

private:
    void rebuild();
    void changed();

    std::vector<Item> m_items;
    int m_selected = -1;
    std::string m_name;
    std::function<void()> m_groupsChanged;
};
