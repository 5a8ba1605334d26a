#pragma once

#include <QWidget>

#include "core/SheetModel.h"

/// The widget of one page, bound to its model. The sheet calls Refresh when the user
/// first opens the tab and after the group being edited changed, so the controls show
/// the model's values then (the model loads whether or not the tab is ever opened).
class PageView : public QWidget {
public:
    using QWidget::QWidget;
    virtual void Refresh() = 0;
};

/// The view of a tab's page; null for a page without one yet.
PageView* MakePageView(SheetTab tab, SettingsPage& page, QWidget* parent);
