// Which widget shows each tab's page. Each view is handed the model MakeSettingsPage
// made for the same tab.
#include "views/PageViews.h"

PageView* MakePageView(SheetTab tab, SettingsPage& page, QWidget* parent)
{
    (void)page;
    (void)parent;
    switch (tab) {
    case SheetTab::Group:
        return nullptr;
    case SheetTab::Option:
        return nullptr;
    case SheetTab::BlkPhrase:
        return nullptr;
    case SheetTab::NoFilter:
        return nullptr;
    case SheetTab::PassUrl:
        return nullptr;
    case SheetTab::Time:
        return nullptr;
    case SheetTab::Server:
        return nullptr;
    case SheetTab::IPRestriction:
        return nullptr;
    case SheetTab::IPException:
        return nullptr;
    case SheetTab::AuthAccount:
        return nullptr;
    case SheetTab::Keep:
        return nullptr;
    case SheetTab::Version:
        return nullptr;
    }
    return nullptr;
}
