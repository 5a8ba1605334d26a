#pragma once

#include <string>
#include <vector>

#include "core/SettingsDocument.h"

/// The groups a page offers in its drop-down lists and how it names a group in a row.
namespace groupchoices {

struct Choice {
    int group;
    std::string name; ///< UTF-8; "(default)" for group 0
};

/// Group 0 first, then every group not marked deleted, in number order.
std::vector<Choice> LiveGroups(const SettingsDocument& document);
/// Whether rows of this group are written under group 0's name: group 0 itself, a
/// deleted group or a number that names no group.
bool FallsBackToDefault(const SettingsDocument& document, int group);
/// The name shown for a row's group (UTF-8).
std::string Label(const SettingsDocument& document, int group);
/// The name stored for a row's group (the file's bytes); "" for group 0.
std::string StoredName(const SettingsDocument& document, int group);

} // namespace groupchoices
