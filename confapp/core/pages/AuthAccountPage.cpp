#include "core/pages/AuthAccountPage.h"

#include <algorithm>
#include <strings.h>

#include "common/Encoding.h"
#include "config/PassWord.h"
#include "config/SettingChecks.h"
#include "core/pages/GroupChoices.h"

namespace {

std::string trimBlanks(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

const char* AuthAccountPage::kHalfAuthNote = "半認証では、http://filtersetにアクセスして、認証します。";

std::string AuthAccountPage::caption() const { return "認証アカウント"; }

const std::vector<std::string>& AuthAccountPage::ModeNames()
{
    static const std::vector<std::string> names = {"認証なし", "全認証", "半認証"};
    return names;
}

void AuthAccountPage::Load()
{
    const ConfigrationFileSigleton& cnf = document().config();
    m_mode = std::clamp(cnf.zpfAuthorization, 0, 2);
    m_rows.clear();
    for (const CPassWord& account : cnf.passWordData.accounts) {
        m_rows.push_back({encoding::sjisToUtf8(account.id), encoding::sjisToUtf8(account.password),
                          account.accessClass == 1, account.group});
    }
    m_selected = -1;
    clearFields();
}

void AuthAccountPage::Store()
{
    ConfigrationFileSigleton& cnf = document().config();
    cnf.zpfAuthorization = m_mode;
    cnf.passWordData.accounts.clear();
    for (const Row& row : m_rows) {
        const std::string line = encoding::utf8ToSjis(row.account) + ":" + encoding::utf8ToSjis(row.password) + ":" +
                                 (row.noFiltering ? "1" : "0") + ";" + groupchoices::StoredName(document(), row.group);
        cnf.passWordData.accounts.emplace_back(line.c_str(), &cnf.groupList);
    }
}

// Only what passwd cannot hold: an account read from an older file may break the form's
// rule for new ones and must not keep the user from leaving the sheet.
std::string AuthAccountPage::Validate() const
{
    for (const Row& row : m_rows) {
        if (std::string error = fileError(row); !error.empty())
            return row.account + ": " + error;
    }
    return {};
}

std::string AuthAccountPage::fileError(const Row& row) const
{
    CPassWord account;
    account.id = encoding::utf8ToSjis(row.account);
    account.password = encoding::utf8ToSjis(row.password);
    account.accessClass = row.noFiltering ? 1 : 0;
    account.group = groupchoices::FallsBackToDefault(document(), row.group) ? 0 : row.group;
    const ConfigrationFileSigleton& cnf = document().config();
    CPassWordData check(&cnf.groupList);
    return check.AccountError(account);
}

void AuthAccountPage::SetMode(int mode)
{
    if (mode < 0 || mode > 2 || mode == m_mode)
        return;
    m_mode = mode;
    MarkChanged();
}

std::vector<std::string> AuthAccountPage::RowTexts(int row) const
{
    const Row& r = m_rows.at(static_cast<size_t>(row));
    return {r.account, r.password, r.noFiltering ? "なし" : "あり", groupchoices::Label(document(), r.group)};
}

void AuthAccountPage::Select(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size()) {
        m_selected = -1;
        return;
    }
    m_selected = row;
    const Row& r = m_rows[static_cast<size_t>(row)];
    accountField = r.account;
    passwordField = r.password;
    noFilteringField = r.noFiltering;
    groupField = groupchoices::FallsBackToDefault(document(), r.group) ? 0 : r.group;
}

void AuthAccountPage::clearFields()
{
    accountField.clear();
    passwordField.clear();
    noFilteringField = false;
    groupField = 0;
}

// The account's own checks, then what passwd can hold; except is the row being replaced.
std::string AuthAccountPage::rowError(const Row& row, int except) const
{
    bool taken = false;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (static_cast<int>(i) != except && strcasecmp(m_rows[i].account.c_str(), row.account.c_str()) == 0)
            taken = true;
    }
    if (std::string error = AccountIdError(row.account, taken); !error.empty())
        return error;
    return fileError(row);
}

std::string AuthAccountPage::Add()
{
    if (!accountsEditable())
        return {};
    const Row row{trimBlanks(accountField), trimBlanks(passwordField), noFilteringField, groupField};
    if (std::string error = rowError(row, -1); !error.empty())
        return error;
    m_rows.push_back(row);
    m_selected = -1;
    clearFields();
    MarkChanged();
    return {};
}

std::string AuthAccountPage::Modify()
{
    if (!accountsEditable() || m_selected < 0)
        return {};
    const Row row{trimBlanks(accountField), trimBlanks(passwordField), noFilteringField, groupField};
    if (std::string error = rowError(row, m_selected); !error.empty())
        return error;
    m_rows[static_cast<size_t>(m_selected)] = row;
    MarkChanged();
    return {};
}

void AuthAccountPage::Delete()
{
    if (!accountsEditable() || m_selected < 0)
        return;
    m_rows.erase(m_rows.begin() + m_selected);
    m_selected = -1;
    clearFields();
    MarkChanged();
}
