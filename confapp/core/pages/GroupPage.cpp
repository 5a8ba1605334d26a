#include "core/pages/GroupPage.h"

#include <algorithm>

#include "config/SettingChecks.h"

std::string GroupPage::caption() const { return "フィルタ種類"; }

void GroupPage::Load()
{
    rebuild();
    m_selected = -1;
    m_name.clear();
}

void GroupPage::rebuild()
{
    m_items.clear();
    const GroupList& groups = document().config().groupList;
    for (int g = 1; g < groups.GetGroupNum(); ++g) {
        if (!groups[g].deleted)
            m_items.push_back({g, document().GroupName(g)});
    }
    std::stable_sort(m_items.begin(), m_items.end(), [](const Item& a, const Item& b) { return a.name < b.name; });
}

void GroupPage::Select(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= m_items.size()) {
        m_selected = -1;
        return;
    }
    m_selected = row;
    m_name = m_items[static_cast<size_t>(row)].name;
}

void GroupPage::changed()
{
    rebuild();
    m_selected = -1;
    m_name.clear();
    MarkChanged();
    if (m_groupsChanged)
        m_groupsChanged();
}

std::string GroupPage::Add()
{
    ConfigrationFileSigleton& cnf = document().config();
    // Only ASCII names pass, so the field's UTF-8 is also the file's bytes.
    const bool taken = cnf.groupList.GetGroupNo(m_name.c_str()) >= 0 && !m_name.empty();
    if (std::string error = GroupNameFormError(m_name, taken); !error.empty())
        return error;
    if (std::string error = cnf.AddGroup(m_name.c_str()); !error.empty())
        return error;
    changed();
    return {};
}

std::string GroupPage::Rename()
{
    if (m_selected < 0)
        return {};
    const int group = m_items[static_cast<size_t>(m_selected)].group;
    ConfigrationFileSigleton& cnf = document().config();
    // A second group of the same name would take over the first one's sections when read back.
    const int holder = m_name.empty() ? -1 : cnf.groupList.GetGroupNo(m_name.c_str());
    if (std::string error = GroupNameFormError(m_name, holder >= 0 && holder != group); !error.empty())
        return error;
    if (std::string error = cnf.RenameGroup(group, m_name.c_str()); !error.empty())
        return error;
    changed();
    return {};
}

std::string GroupPage::Delete()
{
    if (m_selected < 0)
        return {};
    if (std::string error = document().config().DeleteGroup(m_items[static_cast<size_t>(m_selected)].group);
        !error.empty())
        return error;
    changed();
    return {};
}
