#pragma once

#include "core/pages/GroupPage.h"
#include "views/PageViews.h"

class QLineEdit;
class QListWidget;
class QPushButton;

/// "フィルタ種類": the group list with add, rename and delete.
class GroupPageView final : public PageView {
public:
    GroupPageView(GroupPage& page, QWidget* parent);
    void Refresh() override;

    QLineEdit* nameEdit() const { return m_name; }
    QListWidget* list() const { return m_list; }

private:
    void run(std::string (GroupPage::*action)());

    GroupPage& m_page;
    QLineEdit* m_name;
    QListWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_modify;
    QPushButton* m_delete;
};
