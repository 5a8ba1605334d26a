// Reading secrets from standard input with the terminal's echo switched off.
#include "platform/Console.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>

namespace platform {

bool ReadSecretLine(const char* prompt, std::string& line, size_t maxLength)
{
    line.clear();
    const bool tty = ::isatty(STDIN_FILENO) == 1;
    termios saved{};
    bool echoOff = false;
    if (tty) {
        if (prompt)
            std::fprintf(stderr, "%s", prompt);
        std::fflush(stderr);
        if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
            echoOff = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
    }
    bool any = false;
    bool tooLong = false;
    int c;
    while ((c = std::getchar()) != EOF) {
        any = true;
        if (c == '\n')
            break;
        if (line.size() < maxLength + 1)
            line.push_back(static_cast<char>(c));
        else
            tooLong = true;
    }
    if (echoOff) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (!any || tooLong || line.size() > maxLength) {
        line.clear();
        return false;
    }
    return true;
}

bool StandardOutputIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

} // namespace platform
