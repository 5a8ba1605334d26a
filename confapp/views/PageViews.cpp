// Which widget shows each tab's page. Each view is handed the model MakeSettingsPage
// made for the same tab.
#include "views/PageViews.h"

#include "views/pages/AuthAccountPageView.h"
#include "views/pages/GroupPageView.h"
#include "views/pages/IPPageViews.h"
#include "views/pages/TimePageView.h"
#include "views/pages/BoundPageView.h"
#include "views/pages/ListPageView.h"
#include "views/pages/VersionPageView.h"

namespace {

// Null when the sheet was handed another model for the tab (as tests do).
template <class View, class Model> PageView* viewOf(SettingsPage& page, QWidget* parent)
{
    auto* model = dynamic_cast<Model*>(&page);
    return model ? new View(*model, parent) : nullptr;
}

} // namespace

PageView* MakePageView(SheetTab tab, SettingsPage& page, QWidget* parent)
{
    switch (tab) {
    case SheetTab::Group:
        return viewOf<GroupPageView, GroupPage>(page, parent);
    case SheetTab::Option:
        return viewOf<BoundPageView, BoundPage>(page, parent);
    case SheetTab::BlkPhrase:
        return viewOf<ListPageView, ListPage>(page, parent);
    case SheetTab::NoFilter:
        return viewOf<ListPageView, ListPage>(page, parent);
    case SheetTab::PassUrl:
        return viewOf<ListPageView, ListPage>(page, parent);
    case SheetTab::Time:
        return viewOf<TimePageView, TimePage>(page, parent);
    case SheetTab::Server:
        return viewOf<BoundPageView, BoundPage>(page, parent);
    case SheetTab::IPRestriction:
        return viewOf<IPRestrictionPageView, IPRestrictionPage>(page, parent);
    case SheetTab::IPException:
        return viewOf<IPExceptionPageView, IPExceptionPage>(page, parent);
    case SheetTab::AuthAccount:
        return viewOf<AuthAccountPageView, AuthAccountPage>(page, parent);
    case SheetTab::Keep:
        return viewOf<BoundPageView, BoundPage>(page, parent);
    case SheetTab::Version:
        return viewOf<VersionPageView, VersionPage>(page, parent);
    }
    return nullptr;
}
