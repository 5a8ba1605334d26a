// The page views under the offscreen platform, where a binding could break: the week
// grid's drag, the group list reaching the sheet's selector, and the controls a mode or
// check switches off.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QPushButton>
#include <QTreeWidget>

#include "../../CoreFixture.h"
#include "../../QtTestApp.h"
#include "views/SettingsSheet.h"
#include "views/pages/AuthAccountPageView.h"
#include "views/pages/GroupPageView.h"
#include "views/pages/IPPageViews.h"
#include "views/pages/TimePageView.h"

namespace {

class PageViewsTest : public confapptest::CoreFixture {
protected:
    PageViewsTest()
    {
        confapptest::EnsureApplication();
        EXPECT_TRUE(document.Load()) << document.loadError();
    }
};

QPushButton* button(QWidget& view, const char* text)
{
    for (QPushButton* b : view.findChildren<QPushButton*>()) {
        if (b->text() == QString(text))
            return b;
    }
    ADD_FAILURE() << "no button " << text;
    return nullptr;
}

void drag(QWidget* widget, QPoint from, QPoint to, Qt::MouseButton which)
{
    // A device of the test's own: the default one would outlive the application object
    // and crash the program at its exit.
    static QPointingDevice mouse;
    QMouseEvent press(QEvent::MouseButtonPress, from, widget->mapToGlobal(from), which, which, Qt::NoModifier, &mouse);
    QApplication::sendEvent(widget, &press);
    QMouseEvent move(QEvent::MouseMove, to, widget->mapToGlobal(to), Qt::NoButton, which, Qt::NoModifier, &mouse);
    QApplication::sendEvent(widget, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, to, widget->mapToGlobal(to), which, Qt::NoButton, Qt::NoModifier,
                        &mouse);
    QApplication::sendEvent(widget, &release);
}

// The centre of a grid cell, found through the grid's own mapping.
QPoint cellCentre(const WeekGrid& grid, int day, int hour)
{
    for (int y = 0; y < grid.sizeHint().height(); ++y) {
        for (int x = 0; x < grid.sizeHint().width(); ++x) {
            if (grid.CellAt({x, y}) == std::make_pair(day, hour))
                return {x + 4, y + 4};
        }
    }
    ADD_FAILURE() << "no cell " << day << "/" << hour;
    return {};
}

TEST_F(PageViewsTest, DraggingOverTheGridPaintsAndClearsHours)
{
    TimePage page(document);
    page.LoadGroup(0);
    TimePageView view(page, nullptr);
    view.Refresh();
    WeekGrid* grid = view.grid();
    grid->resize(grid->sizeHint());
    page.stateField = FilterCut;
    drag(grid, cellCentre(*grid, 2, 20), cellCentre(*grid, 2, 22), Qt::LeftButton);
    ASSERT_EQ(page.daySlots(2).size(), 1u);
    EXPECT_EQ(page.daySlots(2)[0].start, 20 * 60);
    EXPECT_EQ(page.daySlots(2)[0].end, 23 * 60);
    EXPECT_EQ(page.daySlots(2)[0].state, FilterCut);
    drag(grid, cellCentre(*grid, 2, 21), cellCentre(*grid, 2, 21), Qt::RightButton);
    EXPECT_EQ(page.daySlots(2).size(), 2u);
    EXPECT_TRUE(page.modified());

    // The list shows the day chosen in the drop-down.
    view.findChild<QComboBox*>("dayComboBox")->setCurrentIndex(2);
    EXPECT_EQ(view.slotList()->topLevelItemCount(), 2);
    EXPECT_EQ(view.slotList()->topLevelItem(1)->text(0), QString("22:00"));
    EXPECT_EQ(view.slotList()->topLevelItem(1)->text(2), QString("遮断"));
}

TEST_F(PageViewsTest, ApplyDaysDialogOffersEveryDayButTheCurrentOne)
{
    ApplyDaysDialog dialog(3, nullptr);
    for (int d = 0; d < TimePage::kDays; ++d) {
        EXPECT_EQ(dialog.dayCheck(d)->isEnabled(), d != 3) << d;
        dialog.dayCheck(d)->setChecked(true);
    }
    const auto days = dialog.Days();
    EXPECT_FALSE(days[3]);
    EXPECT_TRUE(days[0] && days[6]);
}

TEST_F(PageViewsTest, AnAddedGroupReachesTheSheetsSelector)
{
    SheetModel model(document, false);
    SettingsSheet sheet(model, 0);
    auto* view = dynamic_cast<GroupPageView*>(sheet.tabs()->widget(0));
    ASSERT_NE(view, nullptr);
    sheet.tabs()->setCurrentIndex(0);
    view->nameEdit()->setText("kids");
    button(*view, "追加")->click();
    EXPECT_EQ(view->list()->count(), 1);
    EXPECT_EQ(sheet.groupSelector()->count(), 2);
    EXPECT_EQ(sheet.groupSelector()->itemText(1), QString("kids"));
    view->list()->setCurrentRow(0);
    EXPECT_EQ(view->nameEdit()->text(), QString("kids"));
    button(*view, "削除")->click();
    EXPECT_EQ(sheet.groupSelector()->count(), 1);
}

TEST_F(PageViewsTest, ModeAndExemptionSwitchTheirControlsOff)
{
    AuthAccountPage accounts(document);
    accounts.Load();
    accounts.MarkOpened();
    AuthAccountPageView accountView(accounts, nullptr);
    accountView.Refresh();
    EXPECT_FALSE(accountView.accountList()->isEnabled());
    accountView.modeBox()->setCurrentIndex(2);
    emit accountView.modeBox()->activated(2);
    EXPECT_EQ(accounts.mode(), 2);
    EXPECT_TRUE(accountView.accountList()->isEnabled());

    IPExceptionPage policy(document);
    policy.Load();
    IPExceptionPageView policyView(policy, nullptr);
    policyView.Refresh();
    EXPECT_TRUE(policyView.groupBox()->isEnabled());
    policyView.exemptCheck()->setChecked(true);
    EXPECT_FALSE(policyView.groupBox()->isEnabled());
    policyView.findChild<QLineEdit*>("ipAddressEdit")->setText("10.0.0.1 - 10.0.0.9");
    button(policyView, "追加")->click();
    ASSERT_EQ(policyView.list()->topLevelItemCount(), 1);
    EXPECT_EQ(policyView.list()->topLevelItem(0)->text(1), QString("はい"));
    policyView.probe()->field()->setText("10.0.0.5");
    EXPECT_EQ(policyView.probe()->answer()->text(), QString("10.0.0.5：10.0.0.1 - 10.0.0.9 により対象外"));
}

} // namespace
