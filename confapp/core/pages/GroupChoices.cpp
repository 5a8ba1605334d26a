#include "core/pages/GroupChoices.h"

#include "core/Texts.h"

namespace groupchoices {

std::vector<Choice> LiveGroups(const SettingsDocument& document)
{
    std::vector<Choice> out;
    const GroupList& groups = document.config().groupList;
    out.push_back({0, texts::kDefaultGroup});
    for (int g = 1; g < groups.GetGroupNum(); ++g) {
        if (!groups[g].deleted)
            out.push_back({g, document.GroupName(g)});
    }
    return out;
}

bool FallsBackToDefault(const SettingsDocument& document, int group)
{
    const GroupList& groups = document.config().groupList;
    return group <= 0 || group >= groups.GetGroupNum() || groups[group].deleted;
}

std::string Label(const SettingsDocument& document, int group)
{
    return FallsBackToDefault(document, group) ? std::string(texts::kDefaultGroup) : document.GroupName(group);
}

std::string StoredName(const SettingsDocument& document, int group)
{
    return FallsBackToDefault(document, group) ? document.config().groupList.GetGroupName(0)
                                               : document.config().groupList.GetGroupName(group);
}

} // namespace groupchoices
