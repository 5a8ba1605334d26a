#pragma once

#include <string>
#include <string_view>

#include "core/SettingsPage.h"

/// "5.3-4" from a product version "3, 3, 0, 4" (the first number plus 2, the second,
/// the fourth); "" when it does not read as four numbers.
std::string VersionNumberText(std::string_view productVersion);

/// "バージョン情報": the program's name and version and the distributor's web page. It
/// carries the administrator password through a field it does not show.
class VersionPage final : public SettingsPage {
public:
    static constexpr const char* kWebAddress = "https://www.orvane.example/vantrel/";

    VersionPage(SettingsDocument& document, std::string productVersion);
    std::string caption() const override { return "バージョン情報"; }
    void Load() override;
    void Store() override;

    /// "ヴァントレル    Ver.5.3-4".
    std::string versionLine() const;
    const std::string& password() const { return m_password; }

private:
    std::string m_productVersion;
    std::string m_password; // Shift_JIS, as stored
};
