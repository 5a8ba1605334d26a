#pragma once

#include "core/pages/BoundPage.h"

/// "ブロック情報": the blocking and logging switches of the group being edited.
class OptionPage final : public BoundPage {
public:
    /// target.fdb smaller than this holds no access-control keys.
    static constexpr long long kMinTargetBytes = 43;

    explicit OptionPage(SettingsDocument& document);
    void Load() override;
    bool enabled(const PageRow& row) const override;
    /// Whether target.fdb holds keys, as found when the page loaded.
    bool accessControlAvailable() const { return m_accessControl; }

private:
    bool m_accessControl = false;
};
