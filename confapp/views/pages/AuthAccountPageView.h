#pragma once

#include "core/pages/AuthAccountPage.h"
#include "views/PageViews.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

/// "認証アカウント": the authentication mode and the accounts.
class AuthAccountPageView final : public PageView {
public:
    AuthAccountPageView(AuthAccountPage& page, QWidget* parent);
    void Refresh() override;

    QComboBox* modeBox() const { return m_mode; }
    QTreeWidget* accountList() const { return m_list; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void readFields();
    void showFields();
    void showRows();
    void enable();

    AuthAccountPage& m_page;
    QComboBox* m_mode;
    QLineEdit* m_account;
    QLineEdit* m_password;
    QCheckBox* m_noFiltering;
    QComboBox* m_group;
    QTreeWidget* m_list;
    QPushButton* m_add;
    QPushButton* m_modify;
    QPushButton* m_delete;
};
