#pragma once

#include <vector>

#include "core/pages/BoundPage.h"
#include "views/PageViews.h"

class QLabel;
class QWidget;

/// The widgets of a page bound to zpf.cnf keys: one control per row of the model, in
/// its order, and the model's state lines at the bottom. Controls are named after their
/// key ("PortEdit", "LogFlagCheckBox") for tests.
class BoundPageView final : public PageView {
public:
    BoundPageView(BoundPage& model, QWidget* parent);
    void Refresh() override;

private:
    void updateEnabled();

    BoundPage& m_model;
    /// One per row; null for rows without a control.
    std::vector<QWidget*> m_controls;
    QLabel* m_info;
};
