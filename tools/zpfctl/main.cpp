// zpfctl: the administrator's command-line tool. Commands register themselves;
// this file only dispatches.
#include <cstdio>
#include <map>
#include <string>

#include "common/BaseDirectory.h"
#include "zpfctl/Command.h"

#ifndef ZPF_VERSION
#define ZPF_VERSION "0.0.0"
#endif

namespace zpfctl {
namespace {
struct Entry {
    std::string usage;
    CommandFn fn;
};
std::map<std::string, Entry>& registry()
{
    static std::map<std::string, Entry> commands;
    return commands;
}
} // namespace

CommandRegistrar::CommandRegistrar(const char* name, const char* usage, CommandFn fn)
{
    registry()[name] = Entry{usage, fn};
}

int UsageError(const std::string& message)
{
    if (!message.empty())
        std::fprintf(stderr, "zpfctl: %s\n", message.c_str());
    std::fprintf(stderr, "usage: zpfctl [--dir DIR] COMMAND [ARGS]\ncommands:\n");
    for (const auto& [name, entry] : registry())
        std::fprintf(stderr, "  zpfctl %s\n", entry.usage.c_str());
    return kUsage;
}

bool TakeOption(Args& args, const std::string& name, std::string& value)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            if (i + 1 >= args.size())
                return false;
            value = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
            return true;
        }
    }
    return false;
}

bool TakeFlag(Args& args, const std::string& name)
{
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            args.erase(args.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

} // namespace zpfctl

int main(int argc, char** argv)
{
    zpfctl::Args args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--dir" && i + 1 >= args.size())
            return zpfctl::UsageError("--dir needs a directory");
    }
    std::string dir;
    if (zpfctl::TakeOption(args, "--dir", dir))
        SetBaseDirectory(dir);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        // Asked for: the usage goes to standard output and is no error.
        std::printf("usage: zpfctl [--dir DIR] COMMAND [ARGS]\ncommands:\n");
        for (const auto& [name, entry] : zpfctl::registry())
            std::printf("  zpfctl %s\n", entry.usage.c_str());
        return zpfctl::kOk;
    }
    if (!args.empty() && args[0] == "--version") {
        std::printf("zpfctl %s\n", ZPF_VERSION);
        return zpfctl::kOk;
    }
    if (args.empty())
        return zpfctl::UsageError();
    std::string word = args[0];
    args.erase(args.begin());
    auto it = zpfctl::registry().find(word);
    if (it == zpfctl::registry().end())
        return zpfctl::UsageError("unknown command '" + word + "'");
    return it->second.fn(args);
}
