// zpfctl schedule: each group's weekly slots and its state now.
#include <cstdio>
#include <ctime>
#include <string>

#include "common/BaseDirectory.h"
#include "common/Clock.h"
#include "common/Edition.h"
#include "config/GroupList.h"
#include "config/TimeCnfList.h"
#include "zpfctl/Command.h"

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

int runSchedule(const zpfctl::Args& given)
{
    zpfctl::Args args = given;
    std::string only;
    const bool oneGroup = zpfctl::TakeOption(args, "--group", only);
    if (!args.empty())
        return zpfctl::UsageError("schedule takes only --group NAME");

    GroupList groups;
    if (!IsStandaloneEdition())
        groups.InitGroupList((baseDirectory() + "group.cnf").c_str());
    TimeCnfList schedule(&groups);
    if (schedule.Initialize())
        std::fprintf(stderr, "zpfctl: %s%s cannot be read: no slots, filtering on at all times\n",
                     baseDirectory().c_str(), TimeCnfList::durationFilename.c_str());

    int wanted = -1;
    if (oneGroup) {
        wanted = groups.GetGroupNo(only.c_str());
        if (wanted < 0) {
            std::fprintf(stderr, "zpfctl: no group named '%s'\n", only.c_str());
            return zpfctl::kFailed;
        }
    }

    std::tm tm{};
    zpfclock::LocalNow(&tm);
    const int today = (tm.tm_wday + 6) % 7;
    const unsigned int now = static_cast<unsigned int>(tm.tm_hour * 256 + tm.tm_min);
    std::printf("now: %s %02d:%02d\n", TimeCnfList::GetDayString(today), tm.tm_hour, tm.tm_min);

    for (int g = 0; g < schedule.size() && g < groups.size(); ++g) {
        if ((wanted >= 0 && g != wanted) || (g > 0 && groups[g].deleted))
            continue;
        const TimeCnfData& week = schedule[g];
        const bool own = g == 0 || week.ownSchedule;
        std::printf("\ngroup %s: state now %s, default %s%s\n", g == 0 ? "(default)" : groups.GetGroupName(g),
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

ZPFCTL_COMMAND("schedule", "schedule [--group NAME]     weekly slots of each group and the state now", runSchedule);
