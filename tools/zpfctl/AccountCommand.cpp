// zpfctl account: the proxy users' accounts of passwd (network edition). The password
// is read from standard input, never from the command line, where others could see it.
#include <cstdio>
#include <string>
#include <strings.h>

#include "common/Encoding.h"
#include "config/SettingChecks.h"
#include "platform/Console.h"
#include "zpfctl/Command.h"
#include "zpfctl/EditSession.h"
#include "zpfctl/Language.h"

namespace {

using zpfctl::Say;

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

int runAccount(const zpfctl::Args& given)
{
    zpfctl::Args args = given;
    const bool restart = zpfctl::TakeFlag(args, "--restart");
    const bool noFilter = zpfctl::TakeFlag(args, "--nofilter");
    std::string groupName;
    const bool groupGiven = zpfctl::TakeOption(args, "--group", groupName);
    const bool add = !args.empty() && args[0] == "add" && args.size() == 2;
    const bool remove = !args.empty() && args[0] == "remove" && args.size() == 2;
    const bool show = !args.empty() && args[0] == "show" && args.size() == 1;
    if (!add && !remove && !show)
        return zpfctl::UsageError("account takes add ID [--group NAME] [--nofilter], remove ID or show");
    if (!add && (noFilter || groupGiven))
        return zpfctl::UsageError("--group and --nofilter belong to account add");
    if (zpfctl::RefuseInStandalone("account"))
        return zpfctl::kFailed;
    zpfctl::EditSession session;
    ConfigrationFileSigleton& cnf = session.cnf();
    std::vector<CPassWord>& accounts = cnf.passWordData.accounts;
    if (show) {
        static constexpr const char* kModes[] = {"none", "full", "half"};
        const int mode = cnf.zpfAuthorization;
        std::printf("%s: %s (zpfctl set zpfAuthorization 0|1|2)\n", Say("認証方式", "authentication mode"),
                    mode >= 0 && mode < 3 ? kModes[mode] : std::to_string(mode).c_str());
        for (const CPassWord& a : accounts) {
            const int g =
                a.group > 0 && a.group < cnf.groupList.size() && !cnf.groupList[a.group].deleted ? a.group : 0;
            std::printf("%-20s %-9s %s\n", a.id.c_str(), a.accessClass == 1 ? "nofilter" : "filtered",
                        zpfctl::GroupDisplayName(cnf.groupList, g).c_str());
        }
        return zpfctl::kOk;
    }
    const bool japanese = zpfctl::Japanese();
    const std::string id = trimmed(args[1]);
    size_t found = accounts.size();
    for (size_t i = 0; i < accounts.size(); ++i) {
        // Vantrel's list compares account names without regard to case.
        if (found == accounts.size() && ::strcasecmp(accounts[i].id.c_str(), id.c_str()) == 0)
            found = i;
    }
    if (remove) {
        if (found == accounts.size())
            return zpfctl::Refuse(Say("次のアカウントはありません：", "there is no account ") + id);
        accounts.erase(accounts.begin() + static_cast<long>(found));
        return session.Save(restart);
    }
    if (std::string error = AccountIdError(id, found != accounts.size(), japanese); !error.empty())
        return zpfctl::Refuse(error);
    const int group = groupGiven ? session.Group(groupName) : 0;
    if (group < 0)
        return zpfctl::kFailed;
    std::string password;
    if (!platform::ReadSecretLine(Say("パスワード: ", "password: "), password, CPassWordData::kLineLimit)) {
        return zpfctl::Refuse(Say("標準入力からパスワードを読めませんでした。", "no password line on standard input"));
    }
    password = encoding::utf8ToSjis(trimmed(password));
    CPassWord account;
    account.id = id;
    account.password = password;
    account.accessClass = noFilter ? 1 : 0;
    account.group = group;
    if (std::string error = cnf.passWordData.AccountError(account); !error.empty())
        return zpfctl::Refuse(error);
    accounts.push_back(account);
    return session.Save(restart);
}

} // namespace

ZPFCTL_COMMAND("account",
               "account add|remove|show [ID] [--group NAME] [--nofilter] [--restart]   proxy user accounts "
               "(the password from standard input)",
               runAccount);
