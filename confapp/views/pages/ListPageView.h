#pragma once

#include "core/pages/ListPage.h"
#include "views/PageViews.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;

/// A list page: its explanation, the switch, the list one entry per line and the count
/// of entries.
class ListPageView final : public PageView {
public:
    ListPageView(ListPage& model, QWidget* parent);
    void Refresh() override;

private:
    void showCount();

    ListPage& m_model;
    QCheckBox* m_switch;
    QPlainTextEdit* m_edit;
    QLabel* m_count;
    bool m_refreshing = false;
};
