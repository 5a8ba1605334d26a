#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "platform/TextFile.h"

namespace zpftest {

/// What a finished program left behind.
struct ProgramResult {
    int status = -1; // exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

/// Runs a shell command line, capturing standard output and standard error.
inline ProgramResult RunProgram(const std::string& commandLine)
{
    static int counter = 0;
    const std::string base = (std::filesystem::temp_directory_path() /
                              ("zpftest-run-" + std::to_string(::getpid()) + "-" + std::to_string(++counter)))
                                 .string();
    const std::string command = "(" + commandLine + ") </dev/null >'" + base + ".out' 2>'" + base + ".err'";
    ProgramResult result;
    int status = std::system(command.c_str());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    (void)platform::ReadFileBytes(base + ".out", result.out);
    (void)platform::ReadFileBytes(base + ".err", result.err);
    std::remove((base + ".out").c_str());
    std::remove((base + ".err").c_str());
    return result;
}

/// The built zpfctl with its arguments, run on a program directory.
inline ProgramResult RunZpfctl(const std::string& dir, const std::string& args)
{
    return RunProgram(std::string("'") + ZPF_BIN_DIR + "/zpfctl' --dir '" + dir + "' " + args);
}

} // namespace zpftest
