// The proxy's command line and service arguments.
#include "host/ProxyCommandLineInfo.h"

#include <strings.h>

void ProxyCommandLineInfo::ParseParam(const char* argument)
{
    if (!argument)
        return;
    const char* word = argument;
    if (*word == '-' || *word == '/')
        ++word;
    struct Entry {
        const char* word;
        int ProxyCommandLineInfo::*flag;
    };
    static constexpr Entry kWords[] = {
        {"tray", &ProxyCommandLineInfo::tray},     {"install", &ProxyCommandLineInfo::install},
        {"remove", &ProxyCommandLineInfo::remove}, {"debug", &ProxyCommandLineInfo::debug},
        {"keep", &ProxyCommandLineInfo::keep},     {"noicon", &ProxyCommandLineInfo::noicon},
        {"phrase", &ProxyCommandLineInfo::phrase},
    };
    for (const Entry& e : kWords) {
        if (::strcasecmp(word, e.word) == 0) {
            this->*e.flag = 1;
            return;
        }
    }
}

void ProxyCommandLineInfo::Parse(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i)
        ParseParam(argv[i]);
}

void ScanServiceArguments(int argc, const char* const* argv, ProxyCommandLineInfo& info)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!a || (a[0] != '-' && a[0] != '/'))
            continue;
        if (::strcasecmp(a + 1, "debug") == 0)
            info.debug = 1;
        else if (::strcasecmp(a + 1, "keeper") == 0)
            info.keep = 1;
    }
}
