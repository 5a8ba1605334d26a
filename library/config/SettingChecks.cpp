// The checks applied to a value typed for a key of zpf.cnf, by whichever door it comes.
#include "config/SettingChecks.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <vector>

#include "config/ConfigKeys.h"
#include "config/GroupList.h"
#include "config/IPlist.h"
#include "platform/FileSystem.h"

namespace {

constexpr std::size_t kFieldLength = 255;
// An id leaves room for its password and group on a passwd line.
constexpr std::size_t kAccountLength = 128;

constexpr SettingRule kRules[] = {
    {"Filtering", SettingKind::Flag},
    {"Port", SettingKind::Number, 1, 65535},
    {"Proxy", SettingKind::Text, 0, 0, kFieldLength},
    {"ProxyPort", SettingKind::OptionalNumber, 1, 65535},
    {"ProxyUsername", SettingKind::Text, 0, 0, kFieldLength},
    {"ProxyPassword", SettingKind::Text, 0, 0, kFieldLength},
    {"LogSize", SettingKind::Number, 0, 9999},
    {"CheckDuration", SettingKind::Number, 0, 300},
    {"RebootAt", SettingKind::TimeOfDay},
    {"AutoUpdateAt", SettingKind::TimeOfDay},
    {"AutoUpdateAtBoot", SettingKind::Flag},
    {"LogFlag", SettingKind::Flag},
    {"LogPath", SettingKind::Directory, 0, 0, kFieldLength},
    // The authentication modes: none, full, half.
    {"zpfAuthorization", SettingKind::Number, 0, 2},
    {"MsgNoSignal", SettingKind::Flag},
    {"SetProxy", SettingKind::Flag},
    {"NoConnectionsTab", SettingKind::Flag},
    {"Block", SettingKind::Flag},
    {"BlockLog", SettingKind::Flag},
    {"AccessLog", SettingKind::Flag},
    {"URLBlockFilter", SettingKind::Flag},
    {"ExtensionBlockFilter", SettingKind::Flag},
    {"AccessControlURL", SettingKind::Flag},
    {"UploadNoFilteringURL", SettingKind::Flag},
    {"DownloadNoFilteringURL", SettingKind::Flag},
    {"UploadReplaceFilter", SettingKind::Flag},
    {"DownloadReplaceFilter", SettingKind::Flag},
    {"UploadBlockFilter", SettingKind::Flag},
    {"PageBlockFilter", SettingKind::Flag},
    {"UserFilter", SettingKind::Flag},
    {"UserNoFilteringURL", SettingKind::Flag},
    {"UserAccessControlURL", SettingKind::Flag},
    {"MessageFlag", SettingKind::Flag},
    {"MessageCode", SettingKind::Flag},
    {"FilteringSize", SettingKind::Number, 0, 9999999},
    // The listener never takes less than 10, and 0 sessions per client means the default.
    {"ListenBacklog", SettingKind::Number, 10, 65535},
    {"MaxClientSession", SettingKind::Number, 0, 2000},
};

// Rules for the keys the table above leaves out, made once from their types.
const std::vector<SettingRule>& typeRules()
{
    static const std::vector<SettingRule> rules = [] {
        std::vector<SettingRule> out;
        for (const ConfigKey& key : kConfigKeys) {
            bool listed = false;
            for (const SettingRule& r : kRules)
                listed = listed || std::string_view(r.key) == key.name;
            if (listed)
                continue;
            switch (key.type) {
            case ConfigType::Int:
                out.push_back({key.name, SettingKind::Number, 0, INT_MAX});
                break;
            case ConfigType::Unsigned:
                out.push_back({key.name, SettingKind::Number, 0, static_cast<long>(UINT_MAX)});
                break;
            case ConfigType::Long:
                out.push_back({key.name, SettingKind::Number, 0, LONG_MAX});
                break;
            case ConfigType::Text:
                out.push_back({key.name, SettingKind::Text, 0, 0, 1000});
                break;
            }
        }
        return out;
    }();
    return rules;
}

std::optional<long> readNumber(std::string_view text)
{
    long value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::string rangeText(const SettingRule& r, bool japanese)
{
    const std::string lo = std::to_string(r.minimum);
    const std::string hi = std::to_string(r.maximum);
    if (r.kind == SettingKind::OptionalNumber)
        return japanese ? "空欄か " + lo + " から " + hi + " までの整数"
                        : "empty or a whole number from " + lo + " to " + hi;
    if (r.kind == SettingKind::Flag)
        return japanese ? "0 か 1" : "0 or 1";
    return japanese ? lo + " から " + hi + " までの整数" : "a whole number from " + lo + " to " + hi;
}

std::string quoted(std::string_view field, bool japanese)
{
    return japanese ? "「" + std::string(field) + "」" : "\"" + std::string(field) + "\"";
}

} // namespace

const SettingRule* FindSettingRule(std::string_view key)
{
    for (const SettingRule& r : kRules) {
        if (key == r.key)
            return &r;
    }
    for (const SettingRule& r : typeRules()) {
        if (key == r.key)
            return &r;
    }
    return nullptr;
}

std::optional<int> ReadTimeOfDay(std::string_view text, bool upTo24)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::optional<long> hour = readNumber(text.substr(0, colon));
    const std::optional<long> minute = readNumber(text.substr(colon + 1));
    if (!hour || !minute || *hour < 0 || *minute < 0 || *minute > 59)
        return std::nullopt;
    if (*hour > 24 || (*hour == 24 && (!upTo24 || *minute != 0)))
        return std::nullopt;
    return static_cast<int>(*hour * 60 + *minute);
}

std::string SettingError(std::string_view key, std::string_view value, std::string_view field, bool japanese)
{
    const SettingRule* rule = FindSettingRule(key);
    if (field.empty())
        field = key;
    if (!rule)
        return japanese ? std::string(key) + " という設定項目はありません。"
                        : "There is no setting " + std::string(key) + ".";
    if (const ConfigKey* k = FindConfigKey(key); k && !k->ValueError(value).empty())
        return japanese ? quoted(field, true) + "に改行は入力できません。"
                        : "The value of " + quoted(field, false) + " may not hold a line end.";
    switch (rule->kind) {
    case SettingKind::OptionalNumber:
        if (value.empty())
            return {};
        [[fallthrough]];
    case SettingKind::Flag:
    case SettingKind::Number: {
        const long lo = rule->kind == SettingKind::Flag ? 0 : rule->minimum;
        const long hi = rule->kind == SettingKind::Flag ? 1 : rule->maximum;
        const std::optional<long> n = readNumber(value);
        if (n && *n >= lo && *n <= hi)
            return {};
        return japanese ? quoted(field, true) + "には" + rangeText(*rule, true) + "を入力してください。"
                        : quoted(field, false) + " takes " + rangeText(*rule, false) + ".";
    }
    case SettingKind::TimeOfDay:
        if (value.empty() || ReadTimeOfDay(value, false))
            return {};
        return japanese ? "時刻のフォーマット(hh:mm)が正しくありません。"
                        : "The time of " + quoted(field, false) + " must read hh:mm (00:00 to 23:59).";
    case SettingKind::Directory:
    case SettingKind::Text:
        break;
    }
    if (value.size() > rule->maxLength)
        return japanese
                   ? quoted(field, true) + "は " + std::to_string(rule->maxLength) + " 文字以内で入力してください。"
                   : quoted(field, false) + " takes at most " + std::to_string(rule->maxLength) + " characters.";
    if (rule->kind == SettingKind::Directory && !value.empty()) {
        switch (platform::KindOfPath(std::string(value))) {
        case platform::PathKind::Directory:
            break;
        case platform::PathKind::Missing:
            return japanese ? "ディレクトリが存在しません。"
                            : "The directory " + std::string(value) + " does not exist.";
        case platform::PathKind::Other:
            return japanese ? "ディレクトリではありません。" : std::string(value) + " is not a directory.";
        }
    }
    return {};
}

std::string GroupNameFormError(std::string_view name, bool taken, bool japanese)
{
    const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
    if (!plain)
        return japanese ? "グループ名には半角英数字しか使えません。"
                        : "A group name may hold ASCII letters and digits only.";
    if (std::string error = GroupList::NameError(name); !error.empty())
        return error; // only the length is left to refuse
    if (taken)
        return japanese ? "そのグループは既にあります。" : "There is such a group already.";
    return {};
}

std::string AccountIdError(std::string_view id, bool taken, bool japanese)
{
    if (id.empty())
        return japanese ? "アカウントを入力してください。" : "Enter an account.";
    const bool plain = std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    });
    if (!plain)
        return japanese ? "アカウントには英数字しか使用できません。"
                        : "An account may hold ASCII letters, digits and \"_\" only.";
    if (id.size() > kAccountLength)
        return japanese ? "アカウントが長すぎます。" : "The account is too long.";
    if (taken)
        return japanese ? "既に同じアカウント名が存在します。" : "There is such an account already.";
    return {};
}

std::string SlotTimeError(std::string_view start, std::string_view end, bool japanese)
{
    const std::optional<int> from = ReadTimeOfDay(start, true);
    const std::optional<int> to = ReadTimeOfDay(end, true);
    if (!from || !to)
        return japanese ? "時間の書式が正しくありません。hh:mmの形式で入力してください。"
                        : "A time must read hh:mm (0:00 to 24:00).";
    // 0:00 to 0:00 or 24:00 to 24:00 would hold no time at all.
    if (*from == *to)
        return japanese ? "開始時刻と終了時刻が同じです。" : "The start and the end are the same time.";
    return {};
}

std::string IPEntryError(std::string_view text, bool japanese)
{
    IPrange range;
    const std::string whole(text);
    if (IP::IsValidIPExpression(whole.c_str()) && IPrange::ReadStrict(text, range))
        return {};
    return japanese ? "IPの書式が間違っています。"
                    : "An entry is an address a.b.c.d or a range a.b.c.d - e.f.g.h (each field 0 to 255, the first "
                      "address not above the last).";
}
