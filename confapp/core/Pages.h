#pragma once

#include <memory>

class SettingsDocument;
class SettingsPage;
enum class SheetTab;

/// The model of a tab's page; null for a tab whose page does not exist yet.
std::unique_ptr<SettingsPage> MakeSettingsPage(SheetTab tab, SettingsDocument& document);
