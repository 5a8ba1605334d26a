// zpfctl ip: the IP restriction list (iplist.cnf) and the IP policy list (ippass.cnf),
// network edition.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "config/SettingChecks.h"
#include "zpfctl/Command.h"
#include "zpfctl/EditSession.h"
#include "zpfctl/Language.h"

namespace {

using zpfctl::Say;

constexpr const char* kModes[] = {"none", "full", "half"};

IPrange rangeOf(const std::string& entry)
{
    IPlist one;
    one.SetDataFromLine(entry.c_str());
    return one[0];
}

// The policy line an entry is stored from: the range alone, or range;group;mode.
std::string policyLine(const GroupList& groups, const IPData& e)
{
    if (!e.filterClient)
        return e.range.IPstring();
    const bool named = e.group > 0 && e.group < groups.size() && !groups[e.group].deleted;
    return e.range.IPstring() + ";" + (named ? groups.GetGroupName(e.group) : "") + ";" + std::to_string(e.authMode);
}

int restrictList(zpfctl::EditSession& session, const std::string& verb, const zpfctl::Args& entries, bool restart)
{
    IPlist& list = session.cnf().ipList;
    if (verb == "show") {
        for (const IPrange& r : list.ranges())
            std::printf("%s\n", r.IPstring().c_str());
        return zpfctl::kOk;
    }
    std::vector<IPrange> ranges = list.ranges();
    for (const std::string& entry : entries) {
        if (std::string error = IPEntryError(entry, zpfctl::Japanese()); !error.empty())
            return zpfctl::Refuse(error);
        const IPrange range = rangeOf(entry);
        auto found = std::find(ranges.begin(), ranges.end(), range);
        if (verb == "add" && found == ranges.end())
            ranges.push_back(range);
        else if (verb == "remove" && found == ranges.end())
            return zpfctl::Refuse(Say("リストにありません：", "not in the list: ") + entry);
        else if (verb == "remove")
            ranges.erase(found);
    }
    list.clear();
    for (const IPrange& r : ranges)
        list.SetDataFromLine(r.IPstring().c_str());
    return session.Save(restart);
}

int policyList(zpfctl::EditSession& session, const std::string& verb, zpfctl::Args entries, bool restart)
{
    ConfigrationFileSigleton& cnf = session.cnf();
    IPDatalist& list = cnf.ipDataList;
    const bool exempt = zpfctl::TakeFlag(entries, "--exempt");
    std::string groupName, mode;
    const bool groupGiven = zpfctl::TakeOption(entries, "--group", groupName);
    const bool modeGiven = zpfctl::TakeOption(entries, "--auth", mode);
    if ((verb != "add" || exempt) && (groupGiven || modeGiven))
        return zpfctl::UsageError("--group and --auth belong to ip policy add without --exempt");
    if (verb != "add" && exempt)
        return zpfctl::UsageError("--exempt belongs to ip policy add");
    if (verb == "show") {
        for (const IPData& e : list.entries()) {
            if (!e.filterClient) {
                std::printf("%-33s exempt\n", e.range.IPstring().c_str());
                continue;
            }
            const int g =
                e.group > 0 && e.group < cnf.groupList.size() && !cnf.groupList[e.group].deleted ? e.group : 0;
            std::printf("%-33s group %s, auth %s\n", e.range.IPstring().c_str(),
                        zpfctl::GroupDisplayName(cnf.groupList, g).c_str(),
                        e.authMode >= 0 && e.authMode < 3 ? kModes[e.authMode] : std::to_string(e.authMode).c_str());
        }
        return zpfctl::kOk;
    }
    if (entries.empty())
        return zpfctl::UsageError("ip policy " + verb + " takes the entries");
    int authMode = 0;
    if (modeGiven) {
        authMode = -1;
        for (int m = 0; m < 3; ++m)
            authMode = mode == kModes[m] ? m : authMode;
        if (authMode < 0)
            return zpfctl::UsageError("--auth takes none, full or half");
    }
    const int group = groupGiven ? session.Group(groupName) : 0;
    if (group < 0)
        return zpfctl::kFailed;
    std::vector<IPData> kept = list.entries();
    for (const std::string& entry : entries) {
        if (std::string error = IPEntryError(entry, zpfctl::Japanese()); !error.empty())
            return zpfctl::Refuse(error);
        const IPrange range = rangeOf(entry);
        auto found = std::find_if(kept.begin(), kept.end(), [&](const IPData& e) { return e.range == range; });
        if (verb == "remove") {
            if (found == kept.end())
                return zpfctl::Refuse(Say("リストにありません：", "not in the list: ") + entry);
            kept.erase(found);
            continue;
        }
        IPData e;
        e.range = range;
        e.filterClient = !exempt;
        e.group = exempt ? 0 : group;
        e.authMode = exempt ? 0 : authMode;
        // A second entry for the same range would never be reached: the first one wins.
        if (found != kept.end())
            *found = e;
        else
            kept.push_back(e);
    }
    list.clear();
    for (const IPData& e : kept)
        list.SetDataFromLine(policyLine(cnf.groupList, e).c_str());
    return session.Save(restart);
}

int runIp(const zpfctl::Args& given)
{
    zpfctl::Args args = given;
    const bool restart = zpfctl::TakeFlag(args, "--restart");
    const bool known = args.size() >= 2 && (args[0] == "restrict" || args[0] == "policy") &&
                       (args[1] == "add" || args[1] == "remove" || args[1] == "show");
    if (!known)
        return zpfctl::UsageError("ip takes restrict or policy, then add, remove or show");
    const std::string list = args[0];
    const std::string verb = args[1];
    args.erase(args.begin(), args.begin() + 2);
    if (zpfctl::RefuseInStandalone("ip"))
        return zpfctl::kFailed;
    zpfctl::EditSession session;
    if (list == "restrict") {
        if ((verb == "show") != args.empty())
            return zpfctl::UsageError(verb == "show" ? "ip restrict show takes nothing more" : "give the entries");
        return restrictList(session, verb, args, restart);
    }
    return policyList(session, verb, args, restart);
}

} // namespace

ZPFCTL_COMMAND("ip",
               "ip restrict add|remove|show [ENTRY...] [--restart]   the IP restriction list\n"
               "  zpfctl ip policy add ENTRY... [--exempt | --group NAME --auth none|full|half] [--restart]\n"
               "  zpfctl ip policy remove|show [ENTRY...] [--restart]   the IP policy list",
               runIp);
