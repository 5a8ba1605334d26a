// The keeper's arguments: the ones the proxy passes, checked before they are used.
#include "keeper/KeeperOptions.h"

#include <charconv>
#include <cstdio>
#include <string_view>

#include "config/ConfigrationFile.h"

namespace {
/// A whole decimal number of at most 5 digits, or -1.
int number(std::string_view text)
{
    int value = -1;
    if (text.empty() || text.size() > 5)
        return -1;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() ? value : -1;
}

/// "h:mm" with an hour of 0 to 23 and a minute of 0 to 59.
bool parseTime(std::string_view text, int* hour, int* minute)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    const int h = number(text.substr(0, colon));
    const int m = number(text.substr(colon + 1));
    if (h < 0 || h > 23 || m < 0 || m > 59)
        return false;
    *hour = h;
    *minute = m;
    return true;
}

void note(std::vector<std::string>* errors, const std::string& text)
{
    if (errors)
        errors->push_back(text);
}
} // namespace

bool KeeperOptions::needed() const { return interval() > 0 || hasReboot() || hasUpdate() || updateAtBoot; }

std::string KeeperOptions::describe() const
{
    char buf[32];
    std::string out;
    auto add = [&out](const char* text) {
        if (!out.empty())
            out += ' ';
        out += text;
    };
    std::snprintf(buf, sizeof buf, "-d%d", interval());
    add(buf);
    if (hasReboot()) {
        std::snprintf(buf, sizeof buf, "-t%d:%02d", rebootHour, rebootMinute);
        add(buf);
    }
    if (hasUpdate()) {
        std::snprintf(buf, sizeof buf, "-u%d:%02d", updateHour, updateMinute);
        add(buf);
    }
    if (browserPort > 0) {
        std::snprintf(buf, sizeof buf, "-u%d", browserPort);
        add(buf);
    }
    if (updateAtBoot)
        add("-a");
    if (tray)
        add("-tray");
    if (noicon)
        add("-noicon");
    return out;
}

KeeperOptions ParseKeeperArguments(const std::vector<std::string>& args, std::vector<std::string>* errors)
{
    KeeperOptions o;
    for (const std::string& arg : args) {
        std::string_view a(arg);
        if (a.size() < 2 || (a[0] != '-' && a[0] != '/')) {
            note(errors, "unknown argument '" + arg + "'");
            continue;
        }
        a.remove_prefix(1);
        if (a == "a") {
            o.updateAtBoot = true;
        } else if (a == "tray") {
            o.tray = true;
        } else if (a == "noicon") {
            o.noicon = true;
        } else if (a[0] == 'd') {
            const int n = number(a.substr(1));
            if (n < 0 || n > kMaxCheckDuration)
                note(errors, "'" + arg + "': the check interval must be 0 to 300 seconds");
            else
                o.checkDuration = n;
        } else if (a[0] == 't') {
            if (!parseTime(a.substr(1), &o.rebootHour, &o.rebootMinute))
                note(errors, "'" + arg + "': the restart time must be h:mm");
        } else if (a[0] == 'u' && a.find(':') != std::string_view::npos) {
            if (!parseTime(a.substr(1), &o.updateHour, &o.updateMinute))
                note(errors, "'" + arg + "': the update time must be h:mm");
        } else if (a[0] == 'u') {
            const int port = number(a.substr(1));
            if (port < 1 || port > 65535)
                note(errors, "'" + arg + "': the port must be 1 to 65535");
            else
                o.browserPort = port;
        } else {
            note(errors, "unknown argument '" + arg + "'");
        }
    }
    return o;
}

void ApplyConfiguration(KeeperOptions& options, const ConfigrationFileSigleton& config,
                        std::vector<std::string>* errors)
{
    if (options.checkDuration < 0) {
        if (config.CheckDuration < 0 || config.CheckDuration > kMaxCheckDuration)
            note(errors, "CheckDuration " + std::to_string(config.CheckDuration) + " is not 0 to 300");
        else
            options.checkDuration = config.CheckDuration;
    }
    auto time = [&](const std::string& text, int hour, int minute, int* h, int* m, const char* key) {
        if (text.empty() || *h >= 0)
            return;
        if (hour < 0 || hour > 23 || minute < 0 || minute > 59) {
            note(errors, std::string(key) + " '" + text + "' is not a time of day");
            return;
        }
        *h = hour;
        *m = minute;
    };
    time(config.RebootAt, config.rebootAtHour(), config.rebootAtMin(), &options.rebootHour, &options.rebootMinute,
         "RebootAt");
    time(config.AutoUpdateAt, config.AutoUpdateAtHour(), config.AutoUpdateAtMin(), &options.updateHour,
         &options.updateMinute, "AutoUpdateAt");
    if (options.browserPort == 0 && config.SetProxy != 0 && config.Port >= 1 && config.Port <= 65535)
        options.browserPort = static_cast<int>(config.Port);
    if (config.AutoUpdateAtBoot != 0)
        options.updateAtBoot = true;
}
