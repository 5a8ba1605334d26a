#pragma once

#include <string>

#include "config/ConfigrationFile.h"
#include "core/SettingsDocument.h"
#include "zpfctl/Command.h"

namespace zpfctl {

/// One editing command's hold on the program directory: every file loaded through
/// Vantrel's settings document, changed in memory, then saved the way Vantrel saves
/// (every file, under the directory's save lock, with the durable replace).
class EditSession {
public:
    EditSession();

    ConfigrationFileSigleton& cnf() { return m_cnf; }
    SettingsDocument& document() { return m_document; }

    /// The group named in UTF-8 ("" or "(default)" is group 0). -1, after a message,
    /// when there is none or it was deleted.
    int Group(const std::string& utf8Name);
    /// The group of "--group NAME" taken from args (group 0 when absent); -1 after a message.
    int TakeGroup(Args& args);

    /// Saves every file and, with restart, restarts a running proxy so it reads them.
    /// Returns the command's exit status; a failed save is reported and leaves the
    /// files as they were.
    int Save(bool restart);

private:
    ConfigrationFileSigleton& m_cnf;
    SettingsDocument m_document;
    /// Why no save may happen, found at load; "" when saves may.
    std::string m_refusal;
};

/// A group's name in UTF-8 for display; "(default)" for group 0.
std::string GroupDisplayName(const GroupList& groups, int group);

/// Refuses commands that need user groups, IP lists or accounts in the standalone
/// edition; returns true after the message.
bool RefuseInStandalone(const char* what);

} // namespace zpfctl
