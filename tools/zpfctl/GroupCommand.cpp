// zpfctl group: adds, renames, deletes and lists the user groups (network edition).
#include <cstdio>
#include <string>

#include "common/Encoding.h"
#include "config/SettingChecks.h"
#include "zpfctl/Command.h"
#include "zpfctl/EditSession.h"
#include "zpfctl/Language.h"

namespace {

using zpfctl::Say;

// "" when name may be given to a group; else the message. Two groups of one name would
// share every section of every file, so a rename may not take a name in use either.
std::string newNameError(const GroupList& groups, const std::string& name)
{
    return GroupNameFormError(name, groups.GetGroupNo(name.c_str()) >= 0, zpfctl::Japanese());
}

int runGroup(const zpfctl::Args& given)
{
    zpfctl::Args args = given;
    const bool restart = zpfctl::TakeFlag(args, "--restart");
    static const std::pair<const char*, size_t> kVerbs[] = {{"add", 2}, {"rename", 3}, {"delete", 2}, {"show", 1}};
    bool known = false;
    for (const auto& [verb, count] : kVerbs)
        known = known || (!args.empty() && args[0] == verb && args.size() == count);
    if (!known)
        return zpfctl::UsageError("group takes add NAME, rename OLD NEW, delete NAME or show");
    if (zpfctl::RefuseInStandalone("group"))
        return zpfctl::kFailed;
    zpfctl::EditSession session;
    ConfigrationFileSigleton& cnf = session.cnf();
    GroupList& groups = cnf.groupList;
    if (args[0] == "show") {
        for (int g = 1; g < groups.size(); ++g) {
            if (!groups[g].deleted)
                std::printf("%s\n", zpfctl::GroupDisplayName(groups, g).c_str());
        }
        return zpfctl::kOk;
    }
    if (args[0] == "add") {
        const std::string name = encoding::utf8ToSjis(args[1]);
        if (std::string error = newNameError(groups, name); !error.empty())
            return zpfctl::Refuse(error);
        if (std::string error = cnf.AddGroup(name.c_str()); !error.empty())
            return zpfctl::Refuse(error);
        return session.Save(restart);
    }
    const int group = session.Group(args[1]);
    if (group < 0)
        return zpfctl::kFailed;
    if (group == 0)
        return zpfctl::Refuse(
            Say("既定のグループは変更できません。", "The default group cannot be renamed or deleted."));
    if (args[0] == "rename") {
        const std::string name = encoding::utf8ToSjis(args[2]);
        if (std::string error = newNameError(groups, name); !error.empty())
            return zpfctl::Refuse(error);
        if (std::string error = cnf.RenameGroup(group, name.c_str()); !error.empty())
            return zpfctl::Refuse(error);
    } else if (std::string error = cnf.DeleteGroup(group); !error.empty()) {
        // The group keeps its number until the files are read again; its accounts and
        // IP entries fall back to the default group when they are saved.
        return zpfctl::Refuse(error);
    }
    return session.Save(restart);
}

} // namespace

ZPFCTL_COMMAND("group", "group add|rename|delete|show [NAME [NEW]] [--restart]   the user groups", runGroup);
