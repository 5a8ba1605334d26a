#include "core/StartupPassword.h"

#include "common/Encoding.h"
#include "core/Texts.h"

std::string StartupPassword::Check(const std::string& entryUtf8) const
{
    if (entryUtf8.size() > kMaxLength * 4) // more than 255 characters of any width
        return texts::kWrongPassword;
    const std::string entry = encoding::utf8ToSjis(entryUtf8);
    // A character without a Shift_JIS form turns into '?' and must not match a real '?'.
    if (encoding::sjisToUtf8(entry) != entryUtf8 || entry.size() > kMaxLength * 2 || entry != m_stored)
        return texts::kWrongPassword;
    return {};
}
