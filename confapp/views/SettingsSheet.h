#pragma once

#include <QDialog>

#include "core/SheetModel.h"
#include "views/PageViews.h"

class QComboBox;
class QTabWidget;

/// The settings sheet: a tab per page of the edition, the group selector of the
/// network edition, "OK" and "ヘルプ". Closing by "OK" or the close box keeps the
/// changes.
class SettingsSheet : public QDialog {
    Q_OBJECT
public:
    /// Makes the widget of a page; null for a page without one yet (an empty page).
    using PageViewFactory = PageView* (*)(SheetTab, SettingsPage&, QWidget* parent);

    SettingsSheet(SheetModel& model, int group, PageViewFactory makeView = MakePageView, QWidget* parent = nullptr);
    QTabWidget* tabs() const { return m_tabs; }
    QComboBox* groupSelector() const { return m_groups; }
    /// Fills the group selector again (after the groups changed).
    void ReloadGroups();

public slots:
    void accept() override;
    void reject() override;

signals:
    void helpRequested();

private:
    void closeSheet();
    void tabOpened(int index);
    void refreshPages();

    SheetModel& m_model;
    QTabWidget* m_tabs;
    QComboBox* m_groups = nullptr;
    QWidget* m_groupRow = nullptr;
    std::vector<PageView*> m_views;
};
