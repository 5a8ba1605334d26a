// Which widget shows each tab's page. Each view is handed the model MakeSettingsPage
// made for the same tab.
#include "views/PageViews.h"

#include "views/pages/AuthAccountPageView.h"
#include "views/pages/GroupPageView.h"
#include "views/pages/IPPageViews.h"
#include "views/pages/TimePageView.h"

PageView* MakePageView(SheetTab tab, SettingsPage& page, QWidget* parent)
{
    switch (tab) {
    case SheetTab::Group:
        return new GroupPageView(static_cast<GroupPage&>(page), parent);
    case SheetTab::Option:
        return nullptr;
    case SheetTab::BlkPhrase:
        return nullptr;
    case SheetTab::NoFilter:
        return nullptr;
    case SheetTab::PassUrl:
        return nullptr;
    case SheetTab::Time:
        return new TimePageView(static_cast<TimePage&>(page), parent);
    case SheetTab::Server:
        return nullptr;
    case SheetTab::IPRestriction:
        return new IPRestrictionPageView(static_cast<IPRestrictionPage&>(page), parent);
    case SheetTab::IPException:
        return new IPExceptionPageView(static_cast<IPExceptionPage&>(page), parent);
    case SheetTab::AuthAccount:
        return new AuthAccountPageView(static_cast<AuthAccountPage&>(page), parent);
    case SheetTab::Keep:
        return nullptr;
    case SheetTab::Version:
        return nullptr;
    }
    return nullptr;
}
