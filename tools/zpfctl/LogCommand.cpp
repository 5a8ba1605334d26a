// zpfctl log: the lines of an access or block log in columns.
#include <charconv>
#include <cstdio>
#include <ctime>
#include <deque>
#include <string>

#include "common/BaseDirectory.h"
#include "common/Clock.h"
#include "common/Encoding.h"
#include "common/LogLine.h"
#include "config/ConfigrationFile.h"
#include "platform/ProgramDirectory.h"
#include "platform/TextFile.h"
#include "zpfctl/Command.h"

namespace {

// Longer lines are cut here; a log line is one request, far below this.
constexpr size_t kMaxLineLength = 64 * 1024;

/// The text shown for a key number of a log line: the category's name (UTF-8), or
/// the number itself for the list numbers (1, 999) and unknown categories.
std::string CategoryDisplayText(unsigned keyNumber)
{
    std::string name;
    if (keyNumber <= 0xffff &&
        ConfigrationFileSigleton::getInstance()->GetCategoryName(static_cast<unsigned short>(keyNumber), name) &&
        !name.empty())
        return encoding::sjisToUtf8(name);
    return std::to_string(keyNumber);
}

void printPadded(const std::string& text, size_t width)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    for (size_t n = text.size(); n < width; ++n)
        std::fputc(' ', stdout);
    std::fputs("  ", stdout);
}

void printRow(const logline::LogRow& row)
{
    printPadded(row.date, 10);
    printPadded(row.time, 8);
    printPadded(row.client, 15);
    printPadded(row.url, 40);
    printPadded(encoding::sjisToUtf8(row.tag), 14);
    printPadded(encoding::sjisToUtf8(row.group), 8);
    std::string categories;
    for (unsigned n : row.keyNumbers) {
        if (!categories.empty())
            categories += ' ';
        categories += CategoryDisplayText(n);
    }
    std::fwrite(categories.data(), 1, categories.size(), stdout);
    std::fputc('\n', stdout);
}

void printHeader()
{
    logline::LogRow header;
    header.date = "DATE";
    header.time = "TIME";
    header.client = "CLIENT";
    header.url = "URL";
    header.tag = "TAG";
    header.group = "GROUP";
    printPadded(header.date, 10);
    printPadded(header.time, 8);
    printPadded(header.client, 15);
    printPadded(header.url, 40);
    printPadded(header.tag, 14);
    printPadded(header.group, 8);
    std::fputs("CATEGORIES\n", stdout);
}

// The file the log viewer would open, or the named one; a bare name is taken from
// the log directory.
std::string chooseFile(const std::string& fileOption)
{
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    if (cnf->Initialize() && fileOption.empty())
        std::fprintf(stderr, "zpfctl: configuration: %s\n", cnf->errorText.c_str());
    std::tm today{};
    zpfclock::LocalNow(&today);
    if (fileOption.empty())
        return logline::DefaultLogFile(cnf->LogFlag, cnf->LogPath, baseDirectory(), today);
    if (fileOption.find('/') != std::string::npos)
        return fileOption;
    return platform::WithTrailingSlash(cnf->LogPath.empty() ? baseDirectory() : cnf->LogPath) + fileOption;
}

int runLog(const zpfctl::Args& argsIn)
{
    zpfctl::Args args = argsIn;
    std::string fileOption;
    std::string tailText;
    zpfctl::TakeOption(args, "--file", fileOption);
    bool tail = zpfctl::TakeOption(args, "--tail", tailText);
    if (!args.empty()) {
        // An option left behind is one given last without its value.
        if (args[0] == "--file" || args[0] == "--tail")
            return zpfctl::UsageError(args[0] + " needs a value");
        return zpfctl::UsageError("log: unexpected argument '" + args[0] + "'");
    }
    size_t tailCount = 0;
    if (tail) {
        auto [end, ec] = std::from_chars(tailText.data(), tailText.data() + tailText.size(), tailCount);
        if (ec != std::errc() || end != tailText.data() + tailText.size())
            return zpfctl::UsageError("--tail needs a number of lines");
    }

    std::string path = chooseFile(fileOption);
    platform::TextFile file;
    if (!file.Open(path, "r")) {
        std::fprintf(stderr, "zpfctl: cannot open the log file %s\n", path.c_str());
        return zpfctl::kFailed;
    }

    printHeader();
    std::deque<logline::LogRow> kept;
    std::string line;
    logline::LogRow row;
    long lineNumber = 0;
    int status = zpfctl::kOk;
    while (file.ReadLine(line, kMaxLineLength)) {
        ++lineNumber;
        if (!logline::ParseLogLine(line, row)) {
            std::fprintf(stderr, "zpfctl: %s:%ld: not a log line\n", path.c_str(), lineNumber);
            status = zpfctl::kFailed;
            break;
        }
        if (!tail) {
            printRow(row);
            continue;
        }
        kept.push_back(std::move(row));
        if (kept.size() > tailCount)
            kept.pop_front();
    }
    for (const auto& r : kept)
        printRow(r);
    return status;
}

} // namespace

ZPFCTL_COMMAND("log", "log [--file NAME] [--tail N]  print the current access or block log in columns", runLog);
