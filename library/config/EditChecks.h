#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/TimeCnfList.h"
#include "ravlin_export.h"

/// Checks of what an administrator types for schedule lines (names and IP entries:
/// config/SettingChecks.h; list entries: config/ListChecks.h). Vantrel's pages and zpfctl's editing commands
/// both check through here. Each returns "" when the text is taken, else a message in
/// Japanese or English.

/// One slot of a day as the schedule page keeps it; times are minutes after midnight,
/// end exclusive (24:00 = 1440).
struct ScheduleSlot {
    int day = 0; ///< 0 = Monday ... 6 = Sunday
    int start = 0;
    int end = 0;
    FilterStatus status = FilterOn;
};

/// A schedule as typed, one time.cnf line at a time.
struct ScheduleInput {
    std::vector<ScheduleSlot> slots;
    bool hasDefault = false;
    FilterStatus defaultStatus = FilterOn;
};

/// Reads one line of the form "on;" / "off;" (the state at times no slot covers) or
/// "on|cut;DAYS;TIMES" into input. DAYS: day words (mon, tue, wed, thu or tur, fri, sat,
/// sun, or the whole English names) and ranges "mon-fri", separated by ","; TIMES:
/// "hh:mm-hh:mm" items separated by ",", up to 24:00, start before end; empty TIMES is
/// the whole day. Returns "" or why the line is refused (then input is unchanged).
RAVLIN_EXPORT std::string ReadScheduleLine(std::string_view line, ScheduleInput& input, bool japanese);

/// The time.cnf lines of a group's week as the schedule page writes them: "on;" alone
/// when there is no slot, else the default line ("off;" unless input says otherwise)
/// and one "state;day;hh:mm-hh:mm" line per slot, Monday first, in the given order
/// within a day.
RAVLIN_EXPORT std::vector<std::string> ScheduleLines(const ScheduleInput& input);
