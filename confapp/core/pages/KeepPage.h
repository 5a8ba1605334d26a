#pragma once

#include <ctime>
#include <functional>
#include <string>

#include "core/pages/BoundPage.h"

/// When the keeper next updates the filter: the first daily update time (text "h:m")
/// after now on which the last update (local midnight of its day, 0 for none) is 7 days
/// old or more. 0 when the time is empty or does not read.
std::time_t NextAutoUpdate(const std::string& updateAt, std::time_t lastUpdate, std::time_t now);

/// "キーパー": the keeper's check interval and update time, the test mode with the word
/// "test", and when the filter was updated last and will be next.
class KeepPage final : public BoundPage {
public:
    struct Clock {
        std::function<std::time_t()> now;
        /// Local midnight of the last update's day; 0 when none.
        std::function<std::time_t()> lastUpdate;
    };
    KeepPage(SettingsDocument& document, bool testMode, Clock clock);
    bool visible(const PageRow& row) const override;
    std::vector<std::string> infoLines() const override;

private:
    bool m_testMode;
    Clock m_clock;
};
