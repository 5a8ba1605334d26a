#pragma once

#include "core/pages/VersionPage.h"
#include "views/PageViews.h"

/// The program's name and version, and the distributor's page as a link.
class VersionPageView final : public PageView {
public:
    VersionPageView(VersionPage& model, QWidget* parent);
    void Refresh() override { }
};
