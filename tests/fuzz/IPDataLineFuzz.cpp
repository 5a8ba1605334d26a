// Feeds arbitrary lines to the IP policy and restriction list parsers and looks the
// parsed ranges up again; a range the strict reader takes survives being written and read.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "config/GroupList.h"
#include "config/IPlist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static GroupList groups = [] {
        GroupList g;
        g.AddGroup("kids");
        g.AddGroup("staff");
        return g;
    }();
    std::string line(reinterpret_cast<const char*>(data), size);
    IPDatalist policy(&groups);
    policy.SetDataFromLine(line.c_str());
    IPlist restriction;
    restriction.SetDataFromLine(line.c_str());
    restriction.SetDataFromLine(line.c_str());
    restriction.active = true;
    const IPData& e = policy[0];
    check(e.group >= 0 && e.group < groups.size());
    bool filter = false;
    int group = 0, mode = 0;
    // A range holds its own ends exactly when it is not backwards.
    const bool ordered = e.range.from <= e.range.to;
    check(policy.CheckIPData(e.range.from, &filter, &group, &mode) == ordered);
    check(restriction.CheckIP(restriction[0].to) == (restriction[0].from <= restriction[0].to));
    IP::IsValidIPExpression(line.c_str());
    (void)e.range.IPstring();
    // What the strict reader accepts, written as the pages write it, reads back the same.
    IPrange strict;
    if (IPrange::ReadStrict(line, strict)) {
        check(!(strict.to < strict.from));
        IPlist back;
        back.SetDataFromLine((strict.from.IPstring() + " - " + strict.to.IPstring()).c_str());
        check(back[0] == strict);
    }
    return 0;
}
