// Which model each tab of the settings sheet gets.
#include "core/Pages.h"

#include "core/SheetModel.h"
#include "core/pages/AuthAccountPage.h"
#include "core/pages/GroupPage.h"
#include "core/pages/IPPages.h"
#include "core/pages/TimePage.h"

std::unique_ptr<SettingsPage> MakeSettingsPage(SheetTab tab, SettingsDocument& document)
{
    switch (tab) {
    case SheetTab::Group:
        return std::make_unique<GroupPage>(document);
    case SheetTab::Option:
        return nullptr;
    case SheetTab::BlkPhrase:
        return nullptr;
    case SheetTab::NoFilter:
        return nullptr;
    case SheetTab::PassUrl:
        return nullptr;
    case SheetTab::Time:
        return std::make_unique<TimePage>(document);
    case SheetTab::Server:
        return nullptr;
    case SheetTab::IPRestriction:
        return std::make_unique<IPRestrictionPage>(document);
    case SheetTab::IPException:
        return std::make_unique<IPExceptionPage>(document);
    case SheetTab::AuthAccount:
        return std::make_unique<AuthAccountPage>(document);
    case SheetTab::Keep:
        return nullptr;
    case SheetTab::Version:
        return nullptr;
    }
    return nullptr;
}
