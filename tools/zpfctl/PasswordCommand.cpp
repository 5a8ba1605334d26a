// zpfctl password: sets or checks the administrator password. The password is read
// from standard input, never from the command line, where other users could see it.
#include <cstdio>
#include <string>

#include "common/RegistryHive.h"
#include "config/ConfigrationFile.h"
#include "platform/Console.h"
#include "zpfctl/Command.h"

namespace {

constexpr size_t kMaxPassword = 255;

int runPassword(const zpfctl::Args& args)
{
    if (args.size() != 1 || (args[0] != "set" && args[0] != "check"))
        return zpfctl::UsageError("password takes 'set' or 'check'");
    const bool set = args[0] == "set";
    std::string text;
    if (!platform::ReadSecretLine(set ? "new administrator password: " : "administrator password: ", text,
                                  kMaxPassword)) {
        std::fprintf(stderr, "zpfctl: no password line on standard input (at most %zu characters)\n", kMaxPassword);
        return zpfctl::kFailed;
    }
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    const std::string hive = HivePath(platform::Hive::LocalMachine);
    if (set) {
        cnf->adminPassword = text;
        if (cnf->WritePassword()) {
            std::fprintf(stderr, "zpfctl: cannot store the administrator password in %s\n", hive.c_str());
            return zpfctl::kFailed;
        }
        std::printf(text.empty() ? "administrator password cleared\n" : "administrator password set\n");
        return zpfctl::kOk;
    }
    (void)cnf->ReadPassword(); // no hive and no value both leave the password empty
    if (cnf->adminPassword.empty()) {
        std::printf("no administrator password is set\n");
        return zpfctl::kOk;
    }
    if (cnf->adminPassword == text) {
        std::printf("password matches\n");
        return zpfctl::kOk;
    }
    std::printf("password does not match\n");
    return zpfctl::kFailed;
}

} // namespace

ZPFCTL_COMMAND("password", "password set|check          administrator password, read from standard input", runPassword);
