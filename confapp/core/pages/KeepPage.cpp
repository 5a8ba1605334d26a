// The keeper page, and when the keeper's next filter update falls.
#include "core/pages/KeepPage.h"

#include <cstdio>
#include <cstring>

#include "common/Clock.h"
#include "config/SettingChecks.h"

namespace {

constexpr std::time_t kUpdateAge = 7 * 24 * 3600;

std::string dateText(std::time_t t, bool withTime)
{
    std::tm tm{};
    if (!zpfclock::LocalTime(t, &tm))
        return "?";
    char buf[96]; // room for any year the conversion gives
    if (withTime)
        std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                      tm.tm_hour, tm.tm_min);
    else
        std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    return buf;
}

} // namespace

std::time_t NextAutoUpdate(const std::string& updateAt, std::time_t lastUpdate, std::time_t now)
{
    const std::optional<int> minutes = ReadTimeOfDay(updateAt, false);
    std::tm day{};
    if (updateAt.empty() || !minutes || !zpfclock::LocalTime(now, &day))
        return 0;
    // Stepping the calendar day keeps the local time across a change of daylight saving.
    for (int i = 0; i < 10; ++i) {
        std::tm at = day;
        at.tm_mday += i;
        at.tm_hour = *minutes / 60;
        at.tm_min = *minutes % 60;
        at.tm_sec = 0;
        at.tm_isdst = -1;
        const std::time_t t = std::mktime(&at);
        if (t > now && (lastUpdate == 0 || t - lastUpdate >= kUpdateAge))
            return t;
    }
    return 0;
}

KeepPage::KeepPage(SettingsDocument& document, bool testMode, Clock clock)
    : BoundPage(document, "キーパー", false,
                {
                    {PageRow::Number, "CheckDuration", "チェック間隔（秒）：\n          (0-300)", "チェック間隔（秒）"},
                    {PageRow::Note, nullptr, "チェック間隔を0にすると、キーパーを使用しません。"},
                    {PageRow::Text, "RebootAt", "再起動時刻（hh:mm)：\n          (00:00-23:59)", "再起動時刻", nullptr,
                     false},
                    {PageRow::Text, "AutoUpdateAt", "自動更新時刻（hh:mm)：\n          (00:00-23:59)", "自動更新時刻"},
                    {PageRow::Note, nullptr,
                     "フィルタファイルが7日以上更新されていないとき、指定した時刻に自動更新を行います。\n"
                     "時刻を空欄にすると、自動更新を行いません。"},
                    {PageRow::Check, "AutoUpdateAtBoot", "", nullptr, nullptr, false},
                    {PageRow::Number, "TestMode", "テストモード（通常は 0 ）：", "テストモード"},
                })
    , m_testMode(testMode)
    , m_clock(std::move(clock))
{
}

bool KeepPage::visible(const PageRow& row) const
{
    if (row.key && std::strcmp(row.key, "TestMode") == 0)
        return m_testMode;
    return BoundPage::visible(row);
}

std::vector<std::string> KeepPage::infoLines() const
{
    const std::time_t last = m_clock.lastUpdate ? m_clock.lastUpdate() : 0;
    const std::time_t now = m_clock.now ? m_clock.now() : zpfclock::Now();
    std::vector<std::string> out;
    out.push_back("フィルタファイルの最終更新日：" + (last ? dateText(last, false) : std::string("未更新")));
    const std::time_t next = NextAutoUpdate(text("AutoUpdateAt"), last, now);
    if (next == 0)
        out.push_back("次回の自動更新：なし");
    else
        out.push_back("次回の自動更新：" + dateText(next, true));
    return out;
}
