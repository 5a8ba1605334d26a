// zpfctl set / get / category: single settings of zpf.cnf and the categories a group blocks.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/Encoding.h"
#include "config/ConfigKeys.h"
#include "config/SettingChecks.h"
#include "zpfctl/Command.h"
#include "zpfctl/EditSession.h"
#include "zpfctl/Language.h"

namespace {

using zpfctl::Say;

// The key, or nullptr after a message naming it.
const ConfigKey* findKey(const std::string& name)
{
    const ConfigKey* key = FindConfigKey(name);
    if (!key)
        zpfctl::Refuse(SettingError(name, "", {}, zpfctl::Japanese()) +
                       Say("（一覧は zpfctl set --keys）", " (zpfctl set --keys lists them)"));
    return key;
}

// Takes the key and its --group from args. Returns kOk, or the exit status after a message.
int keyAndGroup(zpfctl::EditSession& session, zpfctl::Args& args, const ConfigKey*& key, int& group)
{
    std::string name;
    const bool given = zpfctl::TakeOption(args, "--group", name);
    key = args.empty() ? nullptr : findKey(args[0]);
    if (!key)
        return zpfctl::kFailed;
    if (given && key->scope == ConfigScope::Global)
        return zpfctl::UsageError(std::string(key->name) + " is a global setting; it takes no --group");
    group = given ? session.Group(name) : 0;
    return group < 0 ? zpfctl::kFailed : zpfctl::kOk;
}

int listKeys()
{
    for (const ConfigKey& key : kConfigKeys) {
        if (!key.written)
            continue;
        const SettingRule* rule = FindSettingRule(key.name);
        std::string takes;
        switch (rule ? rule->kind : SettingKind::Text) {
        case SettingKind::Flag:
            takes = "0|1";
            break;
        case SettingKind::Number:
            takes = std::to_string(rule->minimum) + ".." + std::to_string(rule->maximum);
            break;
        case SettingKind::OptionalNumber:
            takes = "empty|" + std::to_string(rule->minimum) + ".." + std::to_string(rule->maximum);
            break;
        case SettingKind::TimeOfDay:
            takes = "empty|hh:mm";
            break;
        case SettingKind::Directory:
            takes = "empty|directory";
            break;
        case SettingKind::Text:
            takes = "text";
            break;
        }
        std::printf("%-24s %-7s %s\n", key.name, key.scope == ConfigScope::Group ? "group" : "global", takes.c_str());
    }
    return zpfctl::kOk;
}

int runSet(const zpfctl::Args& given)
{
    zpfctl::Args args = given;
    if (args.size() == 1 && args[0] == "--keys")
        return listKeys();
    const bool restart = zpfctl::TakeFlag(args, "--restart");
    zpfctl::EditSession session;
    if (args.size() < 2)
        return zpfctl::UsageError("set takes KEY VALUE");
    const ConfigKey* key = nullptr;
    int group = 0;
    if (const int status = keyAndGroup(session, args, key, group); status != zpfctl::kOk)
        return status;
    if (args.size() != 2)
        return zpfctl::UsageError("set takes KEY VALUE [--group NAME] [--restart]");
    if (!key->written)
        return zpfctl::Refuse(std::string(key->name) + Say(" は保存されない設定です（Proxy から引き継がれます）。",
                                                           " is never saved (it is taken from Proxy when absent)."));
    // The value arrives in UTF-8; zpf.cnf holds Shift_JIS.
    std::string value;
    if (!zpfctl::ToSjis(args[1], value))
        return zpfctl::kFailed;
    if (const std::string error = SettingError(key->name, args[1], {}, zpfctl::Japanese()); !error.empty())
        return zpfctl::Refuse(error);
    ConfigrationFileSigleton& cnf = session.cnf();
    // A text is stored as typed: the reader's rule would keep the old text for an empty one.
    if (std::string* text = key->Member<std::string>(cnf, group))
        *text = value;
    else if (!key->Read(cnf, group, value))
        return zpfctl::Refuse("no record for the group");
    return session.Save(restart);
}

int runGet(const zpfctl::Args& given)
{
    zpfctl::Args args = given;
    zpfctl::EditSession session;
    if (args.empty())
        return zpfctl::UsageError("get takes KEY");
    const ConfigKey* key = nullptr;
    int group = 0;
    if (const int status = keyAndGroup(session, args, key, group); status != zpfctl::kOk)
        return status;
    if (args.size() != 1)
        return zpfctl::UsageError("get takes KEY [--group NAME]");
    std::printf("%s\n", encoding::sjisToUtf8(key->Format(session.cnf(), group)).c_str());
    return zpfctl::kOk;
}

// The category named by its key, its number or its name (UTF-8); -1 when none is.
int findCategory(const CCategoryList& list, const std::string& name)
{
    const std::string sjis = encoding::utf8ToSjis(name);
    char* end = nullptr;
    const long number = std::strtol(name.c_str(), &end, 10);
    const bool numeric = !name.empty() && end && *end == '\0';
    for (int i = 0; i < list.size(); ++i) {
        const CCategory& c = list[i];
        if (c.stale)
            continue;
        if (c.key == sjis || c.name == sjis || (numeric && c.number == number))
            return i;
    }
    return -1;
}

int runCategory(const zpfctl::Args& given)
{
    zpfctl::Args args = given;
    const bool restart = zpfctl::TakeFlag(args, "--restart");
    if (args.empty() || (args[0] != "on" && args[0] != "off" && args[0] != "status"))
        return zpfctl::UsageError("category takes on, off or status");
    const std::string verb = args[0];
    args.erase(args.begin());
    zpfctl::EditSession session;
    const int group = session.TakeGroup(args);
    if (group < 0)
        return zpfctl::kFailed;
    ConfigrationFileSigleton& cnf = session.cnf();
    const CCategoryList& list = cnf.categoryList;
    std::vector<int>& status = cnf.cnfData[static_cast<size_t>(group)].categoryStatus;
    if (verb != "status" && args.empty())
        return zpfctl::UsageError("category " + verb + " takes the categories to change");
    std::vector<int> chosen;
    for (const std::string& name : args) {
        const int index = findCategory(list, name);
        if (index < 0)
            return zpfctl::Refuse(Say("次のカテゴリはありません：", "there is no category ") + name +
                                  Say("（一覧は zpfctl categories）", " (zpfctl categories lists them)"));
        chosen.push_back(index);
    }
    if (verb == "status") {
        if (chosen.empty()) {
            for (int i = 0; i < list.size(); ++i)
                if (!list[i].stale)
                    chosen.push_back(i);
        }
        for (int i : chosen) {
            const bool on = static_cast<size_t>(i) < status.size() && status[static_cast<size_t>(i)] != 0;
            std::printf("%-20s %-3s %s\n", encoding::sjisToUtf8(list[i].key).c_str(), on ? "on" : "off",
                        encoding::sjisToUtf8(list[i].name).c_str());
        }
        return zpfctl::kOk;
    }
    status.resize(static_cast<size_t>(list.size()), 0);
    for (int i : chosen)
        status[static_cast<size_t>(i)] = verb == "on" ? 1 : 0;
    return session.Save(restart);
}

} // namespace

ZPFCTL_COMMAND("set", "set KEY VALUE [--group NAME] [--restart]   change a setting of zpf.cnf (--keys lists them)",
               runSet);
ZPFCTL_COMMAND("get", "get KEY [--group NAME]      print a setting of zpf.cnf", runGet);
ZPFCTL_COMMAND("category", "category on|off|status [CATEGORY...] [--group NAME] [--restart]   block a category or not",
               runCategory);
