// zpfctl check-ip: whether the IP restriction list admits an address, and which IP
// policy entry applies to it.
#include <cstdio>
#include <string>

#include "common/BaseDirectory.h"
#include "common/Edition.h"
#include "common/Encoding.h"
#include "config/GroupList.h"
#include "config/IPlist.h"
#include "zpfctl/Command.h"

namespace {

int runCheckIp(const zpfctl::Args& args)
{
    if (args.size() != 1)
        return zpfctl::UsageError("check-ip takes one address");
    IP ip;
    if (!IP::ReadStrict(args[0], ip))
        return zpfctl::UsageError("'" + args[0] + "' is not an IPv4 address (a.b.c.d)");
    const std::string addr = ip.IPstring();

    if (IsStandaloneEdition()) {
        std::printf("%s: admitted (standalone edition: the IP lists are not used)\n", addr.c_str());
        std::printf("policy: none\n");
        return zpfctl::kOk;
    }

    const std::string dir = baseDirectory();
    IPlist restriction;
    if (restriction.ReadFile((dir + "iplist.cnf").c_str()) != 0)
        std::fprintf(stderr, "zpfctl: %siplist.cnf cannot be read: no restriction\n", dir.c_str());
    for (const auto& r : restriction.ranges()) {
        if (r.from > r.to)
            std::fprintf(stderr, "zpfctl: warning: range %s runs from high to low and holds no address\n",
                         r.IPstring().c_str());
    }
    bool admitted = restriction.CheckIP(ip);
    if (!restriction.active)
        std::printf("%s: admitted (the restriction list is empty)\n", addr.c_str());
    else if (const IPrange* r = restriction.FindRange(ip))
        std::printf("%s: admitted by %s\n", addr.c_str(), r->IPstring().c_str());
    else
        std::printf("%s: refused (no range of the restriction list holds it)\n", addr.c_str());

    GroupList groups;
    groups.InitGroupList((dir + "group.cnf").c_str());
    IPDatalist policy(&groups);
    if (policy.ReadFile((dir + "ippass.cnf").c_str()) != 0)
        std::fprintf(stderr, "zpfctl: %sippass.cnf cannot be read: no policy entries\n", dir.c_str());
    if (const IPData* e = policy.Find(ip)) {
        if (e->filterClient) {
            const char* name = e->group > 0 && e->group < groups.size() ? groups.GetGroupName(e->group) : "";
            std::printf("policy: %s, filtered, group %s, authentication mode %d\n", e->range.IPstring().c_str(),
                        *name ? encoding::sjisToUtf8(name).c_str() : "(default)", e->authMode);
        } else {
            std::printf("policy: %s, not filtered\n", e->range.IPstring().c_str());
        }
    } else {
        std::printf("policy: none\n");
    }
    return admitted ? zpfctl::kOk : zpfctl::kFailed;
}

} // namespace

ZPFCTL_COMMAND("check-ip", "check-ip ADDRESS            restriction and policy for an address (exit 1: refused)",
               runCheckIp);
