// Feeds arbitrary lines to the account line parser and checks that a written account
// reads back to the same record.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "config/GroupList.h"
#include "config/PassWord.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static GroupList groups = [] {
        GroupList g;
        g.AddGroup("kids");
        return g;
    }();
    std::string line(reinterpret_cast<const char*>(data), size);
    CPassWord rec(line.c_str(), &groups);
    check(rec.group >= -1 && rec.group < groups.size());
    CPassWordData accounts(&groups);
    accounts.accounts.push_back(rec);
    int group = 7;
    accounts.CheckAccessClass(line.c_str(), &group, false);
    accounts.CheckAccessClass(line.c_str(), &group, true);
    // The written form of an account whose fields hold no separators reads back whole.
    if (rec.id.find_first_of(":;\r\n") == std::string::npos &&
        rec.password.find_first_of(":;\r\n") == std::string::npos && rec.group >= 0) {
        std::string written =
            rec.id + ":" + rec.password + ":" + std::to_string(rec.accessClass) + ";" + groups.GetGroupName(rec.group);
        CPassWord back(written.c_str(), &groups);
        check(back.id == rec.id && back.password == rec.password && back.accessClass == rec.accessClass &&
              back.group == rec.group);
    }
    return 0;
}
