// zpfctl schedule: each group's weekly slots and its state now or at a given time;
// set and clear replace a group's week.
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>

#include "common/BaseDirectory.h"
#include "common/Clock.h"
#include "common/Edition.h"
#include "common/Encoding.h"
#include "config/EditChecks.h"
#include "config/GroupList.h"
#include "config/SettingChecks.h"
#include "config/TimeCnfList.h"
#include "zpfctl/Command.h"
#include "zpfctl/EditSession.h"
#include "zpfctl/Language.h"

namespace {

const char* stateWord(FilterStatus status)
{
    switch (status) {
    case FilterOff:
        return "off";
    case FilterCut:
        return "cut";
    default:
        return "on";
    }
}

// "DAY HH:MM" as a day index (0 = Monday) and hour * 256 + minute.
bool readInstant(const std::string& text, int& day, unsigned int& at)
{
    const size_t blank = text.find(' ');
    if (blank == std::string::npos)
        return false;
    ScheduleInput probe;
    // The day is read the way schedule lines read days.
    if (!ReadScheduleLine("on;" + text.substr(0, blank) + ";", probe, false).empty() || probe.slots.size() != 1)
        return false;
    const size_t time = text.find_first_not_of(' ', blank);
    if (time == std::string::npos)
        return false;
    const std::optional<int> minutes = ReadTimeOfDay(std::string_view(text).substr(time), false);
    if (!minutes)
        return false;
    day = probe.slots[0].day;
    at = static_cast<unsigned int>(*minutes / 60 * 256 + *minutes % 60);
    return true;
}

// schedule set LINE... / schedule clear: the group's week as the schedule page stores it.
int editSchedule(zpfctl::Args args)
{
    const bool restart = zpfctl::TakeFlag(args, "--restart");
    const bool set = args[0] == "set";
    args.erase(args.begin());
    zpfctl::EditSession session;
    const int group = session.TakeGroup(args);
    if (group < 0)
        return zpfctl::kFailed;
    if (set == args.empty())
        return zpfctl::UsageError(set ? "schedule set takes time.cnf lines such as \"cut;mon-fri;22:00-24:00\""
                                      : "schedule clear takes only --group NAME");
    ScheduleInput input;
    for (const std::string& line : args) {
        if (std::string error = ReadScheduleLine(line, input, zpfctl::Japanese()); !error.empty())
            return zpfctl::Refuse(error);
    }
    TimeCnfList& schedule = session.cnf().timeCnfList;
    schedule.ClearData(group);
    for (std::string& line : ScheduleLines(input))
        (void)schedule.PutLineData(line.c_str(), group); // a default line adds no slot
    // Without its own section the group would go on using the default group's slots.
    if (group > 0)
        schedule[group].ownSchedule = true;
    return session.Save(restart);
}

int runSchedule(const zpfctl::Args& given)
{
    zpfctl::Args args = given;
    if (!args.empty() && (args[0] == "set" || args[0] == "clear"))
        return editSchedule(args);
    std::string only;
    const bool oneGroup = zpfctl::TakeOption(args, "--group", only);
    std::string instant;
    const bool atGiven = zpfctl::TakeOption(args, "--at", instant);
    int atDay = 0;
    unsigned int atTime = 0;
    if (atGiven && !readInstant(instant, atDay, atTime))
        return zpfctl::UsageError("--at takes \"DAY HH:MM\", for example \"fri 22:30\"");
    if (!args.empty())
        return zpfctl::UsageError("schedule takes only --group NAME and --at \"DAY HH:MM\"");

    GroupList groups;
    if (!IsStandaloneEdition())
        groups.InitGroupList((baseDirectory() + "group.cnf").c_str());
    TimeCnfList schedule(&groups);
    if (schedule.Initialize())
        std::fprintf(stderr, "zpfctl: %s%s cannot be read: no slots, filtering on at all times\n",
                     baseDirectory().c_str(), TimeCnfList::durationFilename.c_str());

    int wanted = -1;
    if (oneGroup) {
        wanted = only.empty() || only == "(default)" ? 0 : groups.GetGroupNo(encoding::utf8ToSjis(only).c_str());
        if (wanted < 0 || (wanted > 0 && groups[wanted].deleted)) {
            std::fprintf(stderr, "zpfctl: no group named '%s'\n", only.c_str());
            return zpfctl::kFailed;
        }
    }

    std::tm tm{};
    zpfclock::LocalNow(&tm);
    const int today = atGiven ? atDay : (tm.tm_wday + 6) % 7;
    const unsigned int now = atGiven ? atTime : static_cast<unsigned int>(tm.tm_hour * 256 + tm.tm_min);
    std::printf("%s: %s %02u:%02u\n", atGiven ? "at" : "now", TimeCnfList::GetDayString(today), now / 256, now % 256);

    for (int g = 0; g < schedule.size() && g < groups.size(); ++g) {
        if ((wanted >= 0 && g != wanted) || (g > 0 && groups[g].deleted))
            continue;
        const TimeCnfData& week = schedule[g];
        const bool own = g == 0 || week.ownSchedule;
        std::printf("\ngroup %s: state %s %s, default %s%s\n",
                    g == 0 ? "(default)" : encoding::sjisToUtf8(groups.GetGroupName(g)).c_str(), atGiven ? "at" : "now",
                    stateWord(schedule.FilterStatusAt(g, today, now)), stateWord(week.defaultStatus),
                    own ? "" : ", slots of the default group");
        const TimeCnfData& used = own ? week : schedule[0];
        for (int d = 0; d < TimeCnfData::kDays; ++d) {
            std::printf("  %s:", TimeCnfList::GetDayString(d));
            const auto& slots = used.days[static_cast<size_t>(d)];
            if (slots.empty())
                std::printf(" -");
            for (const auto& slot : slots)
                std::printf(" %s %s", slot.RangeString().c_str(), stateWord(slot.status));
            std::printf("\n");
        }
    }
    return zpfctl::kOk;
}

} // namespace

ZPFCTL_COMMAND("schedule",
               "schedule [--group NAME] [--at \"DAY HH:MM\"]   weekly slots of each group and the state now or then\n"
               "  zpfctl schedule set LINE... [--group NAME] [--restart]   replace a group's week (\"cut;mon-fri;"
               "22:00-24:00\", \"on;\")\n"
               "  zpfctl schedule clear [--group NAME] [--restart]   no slots: filtering on at all times",
               runSchedule);
