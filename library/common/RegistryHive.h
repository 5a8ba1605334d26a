#pragma once

#include <string>

#include "platform/SettingsStore.h"
#include "ravlin_export.h"

/// The file of a registry hive as the library uses it: the path given to SetHivePath,
/// else platform::DefaultHivePath for the program directory (baseDirectory()).
RAVLIN_EXPORT std::string HivePath(platform::Hive hive);

/// Makes the library use this file for the hive; an empty path restores the default.
/// Meant for tests and tools; any thread.
RAVLIN_EXPORT void SetHivePath(platform::Hive hive, const std::string& path);
