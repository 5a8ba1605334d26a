// The language of zpfctl's messages, taken from the locale variables.
#include "zpfctl/Language.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/Encoding.h"
#include "zpfctl/Command.h"

namespace zpfctl {

bool Japanese()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return std::strncmp(value, "ja", 2) == 0;
    }
    return false;
}

bool ToSjis(const std::string& utf8, std::string& sjis)
{
    if (encoding::convert("UTF-8", "CP932", utf8, sjis))
        return true;
    Refuse(Say("Shift_JIS で表せない文字があります：", "Shift_JIS has no form for a character of: ") + utf8);
    return false;
}

int Refuse(const std::string& message)
{
    std::fprintf(stderr, "zpfctl: %s\n", message.c_str());
    return kFailed;
}

} // namespace zpfctl
