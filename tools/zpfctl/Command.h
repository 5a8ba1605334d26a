#pragma once

#include <string>
#include <vector>

namespace zpfctl {

/// Arguments after the command word, with "--dir DIR" already taken out.
using Args = std::vector<std::string>;

/// Exit statuses shared by every command.
constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

using CommandFn = int (*)(const Args& args);

/// Registers a command word at static initialisation; see ZPFCTL_COMMAND.
struct CommandRegistrar {
    CommandRegistrar(const char* name, const char* usage, CommandFn fn);
};

/// Prints the usage of every command to stderr and returns kUsage.
int UsageError(const std::string& message = {});

/// Takes "--name VALUE" out of args; returns true when it was present.
bool TakeOption(Args& args, const std::string& name, std::string& value);
/// Takes a bare "--flag" out of args; returns true when it was present.
bool TakeFlag(Args& args, const std::string& name);

} // namespace zpfctl

#define ZPFCTL_CONCAT2(a, b) a##b
#define ZPFCTL_CONCAT(a, b) ZPFCTL_CONCAT2(a, b)
/// ZPFCTL_COMMAND("word", "usage line", function): makes `zpfctl word` run function.
#define ZPFCTL_COMMAND(name, usage, fn)                                                                                \
    static ::zpfctl::CommandRegistrar ZPFCTL_CONCAT(zpfctlCommand_, __LINE__)(name, usage, fn)
