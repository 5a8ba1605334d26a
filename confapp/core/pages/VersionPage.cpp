// The version page.
#include "core/pages/VersionPage.h"

#include <charconv>

#include "core/Texts.h"

std::string VersionNumberText(std::string_view v)
{
    long part[4] = {};
    const char* p = v.data();
    const char* end = v.data() + v.size();
    for (int i = 0; i < 4; ++i) {
        while (p < end && *p == ' ')
            ++p;
        auto [next, ec] = std::from_chars(p, end, part[i]);
        // A silly value must not overflow the sum.
        if (ec != std::errc() || part[i] > 1000000 || part[i] < -1000000)
            return {};
        p = next;
        if (i < 3) {
            if (p == end || *p != ',')
                return {};
            ++p;
        }
    }
    return std::to_string(part[0] + 2) + "." + std::to_string(part[1]) + "-" + std::to_string(part[3]);
}

VersionPage::VersionPage(SettingsDocument& document, std::string productVersion)
    : SettingsPage(document)
    , m_productVersion(std::move(productVersion))
{
}

void VersionPage::Load() { m_password = document().config().adminPassword; }

void VersionPage::Store() { document().config().adminPassword = m_password; }

std::string VersionPage::versionLine() const
{
    return std::string(texts::kAppTitle) + "    Ver." + VersionNumberText(m_productVersion);
}
