// Reading and formatting one zpf.cnf value by the rules of its key.
#include "config/ConfigKeys.h"

#include <cstdlib>

#include "config/ConfigLines.h"

namespace {

constexpr bool namesAreUnique()
{
    for (const ConfigKey& a : kConfigKeys) {
        int same = 0;
        for (const ConfigKey& b : kConfigKeys)
            same += std::string_view(a.name) == b.name ? 1 : 0;
        if (same != 1)
            return false;
    }
    return true;
}
static_assert(namesAreUnique(), "a key named twice would never be found the second time");

} // namespace

std::string ConfigKey::DefaultText() const
{
    switch (type) {
    case ConfigType::Int:
        return std::to_string(static_cast<int>(defaultNumber));
    case ConfigType::Unsigned:
        return std::to_string(static_cast<unsigned int>(defaultNumber));
    case ConfigType::Long:
        return std::to_string(defaultNumber);
    case ConfigType::Text:
        break;
    }
    return defaultText;
}

std::string ConfigKey::Format(const ConfigrationFileSigleton& cnf, int group) const
{
    switch (type) {
    case ConfigType::Int:
        if (const int* v = Member<int>(cnf, group))
            return std::to_string(*v);
        break;
    case ConfigType::Unsigned:
        if (const unsigned int* v = Member<unsigned int>(cnf, group))
            return std::to_string(*v);
        break;
    case ConfigType::Long:
        if (const long* v = Member<long>(cnf, group))
            return std::to_string(*v);
        break;
    case ConfigType::Text:
        if (const std::string* v = Member<std::string>(cnf, group))
            return *v;
        break;
    }
    return DefaultText();
}

std::string ConfigKey::ValueError(std::string_view value) const
{
    // An overlong value is cut by the writer but keeps its line end; only a line end
    // inside it changes what the file says.
    if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return std::string("The value of ") + name + " may not hold a line end.";
    return {};
}

bool ConfigKey::Read(ConfigrationFileSigleton& cnf, int group, const std::string& value) const
{
    if (type == ConfigType::Text) {
        std::string* text = Member<std::string>(cnf, group);
        if (text && !(value.empty() && rule == ConfigRule::EmptyKeeps))
            *text = value;
        return text != nullptr;
    }
    // strtol clamps where atol would overflow.
    long number =
        type == ConfigType::Long ? std::strtol(value.c_str(), nullptr, 10) : zpfconfig::ParseIntPrefix(value.c_str());
    if (rule == ConfigRule::ZeroGivesDefault && number == 0)
        number = defaultNumber;
    if (rule == ConfigRule::BelowOneGivesZero && number < 1)
        number = 0;
    if (int* v = Member<int>(cnf, group))
        *v = static_cast<int>(number);
    else if (unsigned int* u = Member<unsigned int>(cnf, group))
        *u = static_cast<unsigned int>(number);
    else if (long* l = Member<long>(cnf, group))
        *l = number;
    else
        return false;
    return true;
}
