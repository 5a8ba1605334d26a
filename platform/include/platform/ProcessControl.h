#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

class Event;

/// Full path of the running executable; empty when it cannot be read. *error gets
/// the reason.
std::string ExecutablePath(int* error = nullptr);

/// Starts fn(arg) on a new detached thread, with a stack of stackBytes (0: the
/// system's default). Returns false when it cannot be started (nothing is then run).
[[nodiscard]] bool StartDetachedThread(void (*fn)(void*), void* arg, size_t stackBytes = 0);

/// Starts a program detached from this process (own session, default signals, no
/// waiting for it). Returns false when it could not be started.
[[nodiscard]] bool SpawnDetached(const std::string& path, const std::vector<std::string>& args);

/// Opens a document or an address with the desktop's program for it (xdg-open on the
/// search path), detached. Returns false when that program could not be started.
[[nodiscard]] bool OpenWithDesktop(const std::string& target);

/// Runs a program and waits for it at most timeoutMs (it is killed after that).
/// Collects at most 64 KiB of its standard output into *output when given.
/// Returns its exit status, or -1 when it could not run, died or timed out.
[[nodiscard]] int RunProgram(const std::vector<std::string>& argv, std::string* output, int timeoutMs);

/// Runs a command line through /bin/sh and waits for it, as system() does, but with
/// the signals this process blocks unblocked in the child. Returns the exit status,
/// -1 when it could not run.
[[nodiscard]] int RunShellCommand(const std::string& commandLine);

/// Blocks SIGTERM and SIGINT in the calling thread and every thread it starts later;
/// call it first thing in main, then collect them with WaitStopSignal.
void BlockStopSignals();
/// Waits at most timeoutMs for SIGTERM or SIGINT; returns the signal, 0 on time-out.
int WaitStopSignal(int timeoutMs);
/// The same, ending early (returning 0) when `done` (a manual-reset event) is set.
int WaitStopSignalOr(Event& done, int timeoutMs);

/// Raises the soft limit of open descriptors towards `wanted` (never above the hard
/// limit). Returns the soft limit in force afterwards.
long RaiseOpenFileLimit(long wanted);

/// Ends the process at once with the status, running no exit handlers or static
/// destructors (buffered stdio is not flushed either).
[[noreturn]] void ExitProcessNow(int status);

/// The text of an error number from the system.
std::string SystemErrorText(int error);

/// Starting programs as the programs that drive others see it, so their logic can be
/// tested against a fake. Each call behaves as the function of the same name above.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    [[nodiscard]] virtual bool SpawnDetached(const std::string& path, const std::vector<std::string>& args) = 0;
    [[nodiscard]] virtual int RunProgram(const std::vector<std::string>& argv, std::string* output, int timeoutMs) = 0;
    [[nodiscard]] virtual int RunShellCommand(const std::string& commandLine) = 0;
    [[nodiscard]] virtual bool OpenWithDesktop(const std::string& target) { return platform::OpenWithDesktop(target); }
};

/// The real launcher: forwards to the functions above.
class PosixProgramLauncher final : public ProgramLauncher {
public:
    bool SpawnDetached(const std::string& path, const std::vector<std::string>& args) override;
    int RunProgram(const std::vector<std::string>& argv, std::string* output, int timeoutMs) override;
    int RunShellCommand(const std::string& commandLine) override;
};

} // namespace platform
