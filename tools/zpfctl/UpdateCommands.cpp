// zpfctl update, last-update and publish: update the filter database from an update
// server, and make the tree such a server serves.
#include <chrono>
#include <cstdio>
#include <string>

#include "common/BaseDirectory.h"
#include "config/ConfigrationFile.h"
#include "platform/Console.h"
#include "update/FilterUpdate.h"
#include "zpfctl/Command.h"
#include "zpfctl/Publish.h"

namespace {

using Clock = std::chrono::steady_clock;

// Step, file, bytes and rate: redrawn in place on a terminal, one line per file otherwise.
class TerminalProgress final : public UpdateProgress {
public:
    explicit TerminalProgress(bool terminal)
        : m_terminal(terminal)
    {
    }
    void SetStepRange(int range) override { m_range = range; }
    void SetStep(int position) override { m_step = position; }
    void SetFile(const std::string& name) override
    {
        m_file = name;
        m_total = -1;
        m_received = 0;
        m_started = Clock::now();
    }
    void SetByteRange(long long total) override { m_total = total; }
    void SetBytePosition(long long received) override
    {
        if (received == 0) { // the download ended
            draw(true);
            return;
        }
        m_received = received;
        const auto now = Clock::now();
        if (m_terminal && now - m_lastDraw > std::chrono::milliseconds(100)) {
            m_lastDraw = now;
            draw(false);
        }
    }
    // Ends the bar's line.
    void Finish()
    {
        if (m_terminal && m_drawn)
            std::printf("\n");
        std::fflush(stdout);
    }

private:
    void draw(bool done)
    {
        const double seconds = std::chrono::duration<double>(Clock::now() - m_started).count();
        const double rate = seconds > 0 ? static_cast<double>(m_received) / seconds / 1e6 : 0.0;
        char bytes[64];
        if (m_total >= 0)
            std::snprintf(bytes, sizeof bytes, "%lld/%lld bytes", m_received, m_total);
        else
            std::snprintf(bytes, sizeof bytes, "%lld bytes", m_received);
        if (m_terminal) {
            std::printf("\r[%2d/%2d] %-16s %-28s %7.1f MB/s\x1b[K", m_step, m_range, m_file.c_str(), bytes, rate);
            m_drawn = true;
        } else if (done) {
            std::printf("[%d/%d] %s %s %.1f MB/s\n", m_step, m_range, m_file.c_str(), bytes, rate);
        }
        std::fflush(stdout);
    }

    bool m_terminal;
    bool m_drawn = false;
    int m_range = 0;
    int m_step = 0;
    std::string m_file;
    long long m_total = -1;
    long long m_received = 0;
    Clock::time_point m_started = Clock::now();
    Clock::time_point m_lastDraw{};
};

class StderrSink final : public UpdateMessageSink {
public:
    void Show(const std::string& text) override { std::fprintf(stderr, "zpfctl update: %s\n", text.c_str()); }
};

// One exit status per result code; 2 stays the usage error.
int exitStatus(UpdateError code)
{
    switch (code) {
    case kUpdateOk:
        return zpfctl::kOk;
    case kUpdateNetworkStart:
        return 3;
    case kUpdateNetworkVersion:
        return 4;
    case kUpdateConfiguration:
        return 5;
    case kUpdateRunning:
        return 99;
    default:
        return code; // 12 to 18: the step that failed
    }
}

int runUpdate(const zpfctl::Args& argsIn)
{
    zpfctl::Args args = argsIn;
    std::string server;
    const bool hasServer = zpfctl::TakeOption(args, "--server", server);
    const bool noCache = zpfctl::TakeFlag(args, "--no-cache");
    const bool quiet = zpfctl::TakeFlag(args, "--quiet");
    if (!args.empty())
        return zpfctl::UsageError("update takes no argument '" + args[0] + "'");
    if (hasServer && !SetUpdateServer(server))
        return zpfctl::UsageError("--server needs an http address such as http://127.0.0.1:8080/");

    StderrSink sink;
    SetUpdateMessageSink(&sink);
    TerminalProgress bar(platform::StandardOutputIsTerminal());
    if (!quiet)
        std::printf("updating %s from %s\n", baseDirectory().c_str(), UpdateServer().c_str());
    const UpdateError result = FilterUpdate(noCache, nullptr, false, quiet, quiet ? nullptr : &bar);
    bar.Finish();
    SetUpdateMessageSink(nullptr);
    if (!quiet) {
        if (result == kUpdateOk)
            std::printf("filter database updated; zpf uses it from its next start\n");
        else if (result == kUpdateConfiguration)
            std::fprintf(stderr, "zpfctl update: the configuration cannot be loaded: %s\n",
                         ConfigrationFileSigleton::getInstance()->errorText.c_str());
        else if (result == kUpdateRunning)
            std::fprintf(stderr, "zpfctl update: another update is running (999); nothing was changed\n");
        else
            std::fprintf(stderr, "zpfctl update: update failed (%d); nothing was changed\n", result);
    }
    return exitStatus(result);
}

int runLastUpdate(const zpfctl::Args& args)
{
    if (!args.empty())
        return zpfctl::UsageError("last-update takes no argument");
    CUpdateDateSigleton* date = CUpdateDateSigleton::getInstance();
    (void)date->ReadUpdateDate();
    std::printf("%s\n", GetLastUpdate() == 0 ? "Never" : date->GetUpdateDate());
    return zpfctl::kOk;
}

int runPublish(const zpfctl::Args& argsIn)
{
    zpfctl::Args args = argsIn;
    std::string server;
    const bool hasServer = zpfctl::TakeOption(args, "--server", server);
    if (args.size() != 2)
        return zpfctl::UsageError("publish needs SRC_DIR and OUT_DIR");
    if (hasServer && !SetUpdateServer(server))
        return zpfctl::UsageError("--server needs an http address such as http://127.0.0.1:8080/");
    std::string error;
    if (!zpfctl::PublishDatabase(args[0], args[1], hasServer ? UpdateServer() : std::string(), error)) {
        std::fprintf(stderr, "zpfctl publish: %s\n", error.c_str());
        return zpfctl::kFailed;
    }
    return zpfctl::kOk;
}

} // namespace

ZPFCTL_COMMAND("update", "update [--server URL] [--no-cache] [--quiet]  fetch and install the filter database",
               runUpdate);
ZPFCTL_COMMAND("last-update", "last-update                 date of the last successful update", runLastUpdate);
ZPFCTL_COMMAND("publish", "publish [--server URL] SRC_DIR OUT_DIR  make the tree an update server serves", runPublish);
