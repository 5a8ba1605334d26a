#pragma once

#include <string>
#include <vector>

#include "core/SettingsPage.h"
#include "core/pages/GroupChoices.h"

/// The authentication mode and the proxy accounts with their groups.
class AuthAccountPage final : public SettingsPage {
public:
    struct Row {
        std::string account; ///< UTF-8
        std::string password; ///< UTF-8
        bool noFiltering = false;
        int group = 0;
    };

    using SettingsPage::SettingsPage;
    std::string caption() const override;
    void Load() override;
    void Store() override;
    std::string Validate() const override;

    static const std::vector<std::string>& ModeNames(); ///< "認証なし", "全認証", "半認証"
    static const char* kHalfAuthNote;

    int mode() const { return m_mode; }
    void SetMode(int mode);
    /// False while the mode is "認証なし": the account controls are disabled then.
    bool accountsEditable() const { return m_mode != 0; }

    /// The entries of the group drop-down list.
    std::vector<groupchoices::Choice> groupChoices() const { return groupchoices::LiveGroups(document()); }
    const std::vector<Row>& rows() const { return m_rows; }
    /// The row's four columns as shown: account, password, "あり"/"なし", group.
    std::vector<std::string> RowTexts(int row) const;
    int selected() const { return m_selected; }
    void Select(int row);

    std::string accountField, passwordField;
    bool noFilteringField = false;
    int groupField = 0; ///< a group number

    /// Each returns "" when done, else the message for the user (nothing changed).
    std::string Add();
    std::string Modify();
    void Delete();

private:
    void clearFields();
    std::string rowError(const Row& row, int except) const;
    std::string fileError(const Row& row) const;

    int m_mode = 0;
    std::vector<Row> m_rows;
    int m_selected = -1;
};
