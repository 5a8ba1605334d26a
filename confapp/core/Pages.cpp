// Which model each tab of the settings sheet gets.
#include "core/Pages.h"

#include "core/SheetModel.h"

std::unique_ptr<SettingsPage> MakeSettingsPage(SheetTab tab, SettingsDocument& document)
{
    (void)document;
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
