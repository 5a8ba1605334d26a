#pragma once

#include <string>
#include <vector>

#include "config/ConfigrationFile.h"

/// The configuration Vantrel edits: one instance of the configuration singleton,
/// loaded from the program directory, changed in memory by the pages and saved when
/// the user leaves. The library's failures become message texts here and nowhere else.
class SettingsDocument {
public:
    /// The outcome of a save. When ok is false, message says which file and why, and
    /// nothing the user changed is lost: the document keeps every value.
    struct SaveResult {
        bool ok = true;
        /// Files the load could not read that the save would replace: the user must
        /// agree first (then save again with overwriteUnreadable).
        std::vector<std::string> needsConsent;
        std::string message;
    };

    /// programDirectory ends with "/". cnf must outlive the document.
    SettingsDocument(ConfigrationFileSigleton& cnf, std::string programDirectory);
    ~SettingsDocument();
    SettingsDocument(const SettingsDocument&) = delete;
    SettingsDocument& operator=(const SettingsDocument&) = delete;

    ConfigrationFileSigleton& config() { return m_cnf; }
    const ConfigrationFileSigleton& config() const { return m_cnf; }
    const std::string& programDirectory() const { return m_dir; }

    /// Copies the files an edit may change to their .bak names (removed again when
    /// the document goes), so a broken save can be undone by hand.
    void MakeBackups();
    /// Loads every file. False, with loadError() set, when a file could not be read.
    bool Load();
    bool loaded() const { return m_loaded; }
    const std::string& loadError() const { return m_loadError; }

    /// Reads the stored administrator password into the configuration; false when
    /// none could be read (then there is none to ask for).
    bool ReadPassword();
    /// Writes every file. Refuses (needsConsent) to replace a file the load could not
    /// read unless overwriteUnreadable.
    SaveResult Save(bool overwriteUnreadable);
    /// Stores the administrator password.
    SaveResult SavePassword();

    /// The display name (UTF-8) of group index; "(default)" for group 0.
    std::string GroupName(int group) const;

    static const std::vector<std::string>& BackupPairs();

    /// Started with the word "test": the keeper page shows its test-mode field.
    void SetTestMode(bool on) { m_testMode = on; }
    bool testMode() const { return m_testMode; }

private:
    ConfigrationFileSigleton& m_cnf;
    std::string m_dir;
    bool m_loaded = false;
    bool m_backupsMade = false;
    std::string m_loadError;
    bool m_testMode = false;
};
