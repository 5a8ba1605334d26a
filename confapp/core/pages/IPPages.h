#pragma once

#include <string>
#include <vector>

#include "config/IPlist.h"
#include "core/SettingsPage.h"
#include "core/pages/GroupChoices.h"

/// The entry text shown and stored for a range: the address alone, or first and last
/// joined by " - ".
std::string IPEntryText(const IPrange& range);

/// The IP restriction list: once it holds an entry, only the addresses it covers may use
/// the proxy.
class IPRestrictionPage final : public SettingsPage {
public:
    using SettingsPage::SettingsPage;
    std::string caption() const override;
    void Load() override;
    void Store() override;

    /// The entries, sorted by text as the list shows them.
    const std::vector<std::string>& entries() const { return m_entries; }
    int selected() const { return m_selected; }
    void Select(int row);
    std::string addressField;

    /// Each returns "" when done, else the message for the user (nothing changed).
    std::string Add();
    std::string Modify();
    void Delete();

    /// Which entry decides for the typed address, as the proxy would decide it (UTF-8).
    std::string Explain(const std::string& address) const;

private:
    void sort();

    std::vector<std::string> m_entries;
    int m_selected = -1;
};

/// The IP policy list: per address or range, either no filtering or a group and an
/// authentication mode. The first entry that covers an address decides.
class IPExceptionPage final : public SettingsPage {
public:
    struct Row {
        std::string entry;
        bool exempt = false;
        int group = 0;
        int mode = 0;
    };

    using SettingsPage::SettingsPage;
    std::string caption() const override;
    void Load() override;
    void Store() override;

    /// The entries of the group drop-down list.
    std::vector<groupchoices::Choice> groupChoices() const { return groupchoices::LiveGroups(document()); }
    const std::vector<Row>& rows() const { return m_rows; }
    /// The row's four columns as shown: entry, "はい"/"いいえ", group, mode.
    std::vector<std::string> RowTexts(int row) const;
    int selected() const { return m_selected; }
    void Select(int row);

    std::string addressField;
    bool exemptField = false;
    int groupField = 0; ///< a group number
    int modeField = 0;
    /// False while "対象外" is checked: the group and mode lists are disabled then.
    bool policyEditable() const { return !exemptField; }

    std::string Add();
    std::string Modify();
    void Delete();

    /// Which entry decides for the typed address (UTF-8).
    std::string Explain(const std::string& address) const;

private:
    void resetFields();
    std::string line(const Row& row) const;

    std::vector<Row> m_rows;
    int m_selected = -1;
};
