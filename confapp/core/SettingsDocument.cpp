#include "core/SettingsDocument.h"

#include "common/Encoding.h"
#include "core/Texts.h"
#include "platform/FileSystem.h"
#include "platform/TextFile.h"
#include "update/FilterUpdate.h"

namespace {

// Source and backup names, in pairs.
const std::vector<std::string> kBackups = {"zpf.cnf",    "zpf.bak",     "category.cnf", "category.bak", "phrase.fdb",
                                           "phrase.bak", "passurl.fdb", "passurl.bak",  "nofilter.fdb", "nofilter.bak"};

std::string failure(const char* head, const std::string& why)
{
    std::string text = head;
    if (!why.empty())
        text += "\n\n" + encoding::sjisToUtf8(why);
    return text;
}

} // namespace

SettingsDocument::SettingsDocument(ConfigrationFileSigleton& cnf, std::string programDirectory)
    : m_cnf(cnf)
    , m_dir(std::move(programDirectory))
{
}

SettingsDocument::~SettingsDocument()
{
    if (!m_backupsMade)
        return;
    for (size_t i = 1; i < kBackups.size(); i += 2)
        (void)platform::RemoveFile(m_dir + kBackups[i]); // a backup left behind harms nothing
}

const std::vector<std::string>& SettingsDocument::BackupPairs() { return kBackups; }

void SettingsDocument::MakeBackups()
{
    for (size_t i = 0; i + 1 < kBackups.size(); i += 2) {
        if (platform::PathExists(m_dir + kBackups[i]))
            flcopy((m_dir + kBackups[i]).c_str(), (m_dir + kBackups[i + 1]).c_str(), 0);
    }
    m_backupsMade = true;
}

bool SettingsDocument::Load()
{
    m_cnf.errorText.clear();
    const bool failed = m_cnf.Initialize();
    m_loaded = !failed;
    m_loadError = failed ? failure(texts::kLoadFailed, m_cnf.errorText) : std::string();
    return m_loaded;
}

bool SettingsDocument::ReadPassword() { return !m_cnf.ReadPassword(); }

SettingsDocument::SaveResult SettingsDocument::Save(bool overwriteUnreadable)
{
    SaveResult result;
    if (!overwriteUnreadable && !m_cnf.unreadableFiles.empty()) {
        result.ok = false;
        result.needsConsent = m_cnf.unreadableFiles;
        result.message = texts::kAskOverwriteUnreadable;
        for (const std::string& name : m_cnf.unreadableFiles)
            result.message += "\n" + name;
        return result;
    }
    m_cnf.errorText.clear();
    if (m_cnf.SaveAll(true, false, overwriteUnreadable)) {
        result.ok = false;
        result.message = failure(texts::kSaveFailed, m_cnf.errorText);
    }
    return result;
}

SettingsDocument::SaveResult SettingsDocument::SavePassword()
{
    SaveResult result;
    m_cnf.errorText.clear();
    if (m_cnf.WritePassword()) {
        result.ok = false;
        result.message = failure(texts::kPasswordSaveFailed, m_cnf.errorText);
    }
    return result;
}

std::string SettingsDocument::GroupName(int group) const
{
    if (group == 0)
        return texts::kDefaultGroup;
    if (group < 0 || group >= m_cnf.groupList.GetGroupNum())
        return {};
    return encoding::sjisToUtf8(m_cnf.groupList.GetGroupName(group));
}
