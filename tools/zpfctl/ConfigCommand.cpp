// zpfctl config: the effective configuration of a program directory.
#include <cstdio>

#include "common/Encoding.h"
#include "config/ConfigrationFile.h"
#include "zpfctl/Command.h"

namespace {

int runConfig(const zpfctl::Args& args)
{
    if (!args.empty())
        return zpfctl::UsageError("config takes no arguments");
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    bool failed = cnf->Initialize();
    // Printed even after a failure: what is shown is what a program would run with.
    // Category names and other texts are Shift_JIS; the terminal gets UTF-8.
    std::string text = encoding::sjisToUtf8(cnf->FormatZpfCnf(true));
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (failed) {
        // The list readers fail without a message of their own.
        std::fprintf(stderr, "%s\n",
                     cnf->errorText.empty() ? "a configuration or list file could not be read"
                                            : cnf->errorText.c_str());
        return zpfctl::kFailed;
    }
    return zpfctl::kOk;
}

} // namespace

ZPFCTL_COMMAND("config", "config                      print the effective configuration", runConfig);
