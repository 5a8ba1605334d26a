// zpfctl complete: the names shell completion offers, one per line, in UTF-8.
#include <cstdio>

#include "common/BaseDirectory.h"
#include "common/Edition.h"
#include "common/Encoding.h"
#include "config/Category.h"
#include "config/ConfigKeys.h"
#include "config/GroupList.h"
#include "zpfctl/Command.h"

namespace {

int runComplete(const zpfctl::Args& args)
{
    if (args.size() != 1)
        return zpfctl::UsageError("complete takes groups, categories or keys");
    if (args[0] == "keys") {
        for (const ConfigKey& key : kConfigKeys) {
            if (key.written)
                std::printf("%s\n", key.name);
        }
    } else if (args[0] == "groups") {
        GroupList groups;
        if (!IsStandaloneEdition())
            (void)groups.InitGroupList((baseDirectory() + "group.cnf").c_str()); // none: no names
        for (int g = 1; g < groups.size(); ++g)
            std::printf("%s\n", encoding::sjisToUtf8(groups.GetGroupName(g)).c_str());
    } else if (args[0] == "categories") {
        CCategoryList list;
        (void)list.ReadCategoryFile(); // unreadable: no names
        for (int i = 0; i < list.size(); ++i) {
            if (!list[i].stale)
                std::printf("%s\n", encoding::sjisToUtf8(list[i].key).c_str());
        }
    } else {
        return zpfctl::UsageError("complete takes groups, categories or keys");
    }
    return zpfctl::kOk;
}

} // namespace

ZPFCTL_COMMAND("complete", "complete groups|categories|keys   names for shell completion", runComplete);
