// Which model each tab of the settings sheet gets.
#include "core/Pages.h"

#include "common/Clock.h"
#include "core/ProxyRestart.h"
#include "core/SheetModel.h"
#include "core/pages/AuthAccountPage.h"
#include "core/pages/GroupPage.h"
#include "core/pages/IPPages.h"
#include "core/pages/TimePage.h"
#include "core/pages/KeepPage.h"
#include "core/pages/ListPage.h"
#include "core/pages/OptionPage.h"
#include "core/pages/ServerPage.h"
#include "core/pages/VersionPage.h"
#include "platform/InstanceLock.h"
#include "platform/NamedEvent.h"
#include "update/FilterUpdate.h"

#ifndef VANTREL_PRODUCT_VERSION
#define VANTREL_PRODUCT_VERSION "0, 0, 0, 0"
#endif

namespace {

// The tray proxy holds its window class's instance; the service is asked through systemd.
ProxyRunState proxyRunState(const std::string& programDirectory)
{
    ProxyRunState state;
    if (platform::InstanceExists(platform::RuntimeDirectory(programDirectory), kProxyWindowClass)) {
        state.running = true;
        return state;
    }
    platform::SystemdServiceController services;
    if (services.Find(kProxyServiceName) == 0 && services.Query(kProxyServiceName) == platform::ServiceState::Running)
        state = {true, true};
    return state;
}

} // namespace

std::unique_ptr<SettingsPage> MakeSettingsPage(SheetTab tab, SettingsDocument& document)
{
    switch (tab) {
    case SheetTab::Group:
        return std::make_unique<GroupPage>(document);
    case SheetTab::Option:
        return std::make_unique<OptionPage>(document);
    case SheetTab::BlkPhrase:
        return std::make_unique<ListPage>(document, ListPage::Kind::Phrase);
    case SheetTab::NoFilter:
        return std::make_unique<ListPage>(document, ListPage::Kind::NoFilter);
    case SheetTab::PassUrl:
        return std::make_unique<ListPage>(document, ListPage::Kind::PassUrl);
    case SheetTab::Time:
        return std::make_unique<TimePage>(document);
    case SheetTab::Server:
        return std::make_unique<ServerPage>(document,
                                            [dir = document.programDirectory()] { return proxyRunState(dir); });
    case SheetTab::IPRestriction:
        return std::make_unique<IPRestrictionPage>(document);
    case SheetTab::IPException:
        return std::make_unique<IPExceptionPage>(document);
    case SheetTab::AuthAccount:
        return std::make_unique<AuthAccountPage>(document);
    case SheetTab::Keep:
        return std::make_unique<KeepPage>(
            document, document.testMode(),
            KeepPage::Clock{[] { return zpfclock::Now(); }, [] { return GetLastUpdate(); }});
    case SheetTab::Version:
        return std::make_unique<VersionPage>(document, VANTREL_PRODUCT_VERSION);
    }
    return nullptr;
}
