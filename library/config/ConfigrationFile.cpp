// The configuration singleton: defaults, zpf.cnf (plain or enciphered), the load and
// save sequences and the accessors both programs use.
#include "config/ConfigrationFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/BaseDirectory.h"
#include "common/Edition.h"
#include "config/ConfigKeys.h"
#include "config/ConfigLines.h"
#include "config/TimeCnfList.h"
#include "platform/FileSystem.h"

namespace {

constexpr int kLineLimit = 512; // read buffer and formatted line size of zpf.cnf

int parseInt(const std::string& text) { return zpfconfig::ParseIntPrefix(text.c_str()); }

int hourOf(const std::string& at) { return parseInt(at); }

int minuteOf(const std::string& at)
{
    auto colon = at.find(':');
    return parseInt(colon == std::string::npos ? at : at.substr(colon + 1));
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

std::string notConfigurationError(const std::string& path, const char* reason, bool enciphered = true)
{
    return path + ": not a configuration file (" + reason + "); it is damaged" +
           (enciphered ? " or enciphered with another key" : "");
}

// Line ends, tabs and the end-of-file mark are the only control bytes a text file has.
bool isControlByte(char byte)
{
    const auto c = static_cast<unsigned char>(byte);
    return (c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != 0x1A) || c == 0x7F;
}

} // namespace

// ---- lifetime ----

ConfigrationFileSigleton* ConfigrationFileSigleton::getInstance()
{
    static std::unique_ptr<ConfigrationFileSigleton> instance;
    if (!instance)
        instance.reset(new ConfigrationFileSigleton());
    return instance.get();
}

ConfigrationFileSigleton::ConfigrationFileSigleton()
{
    SetDefaultPaths();
    // The group list always holds the default group; keep one record for it so the
    // accessors are safe before the first Initialize.
    cnfData.resize(static_cast<size_t>(groupList.size()));
}

void ConfigrationFileSigleton::SetDefaultPaths()
{
    const std::string& dir = baseDirectory();
    categoryList.SetPath((dir + "category2.cnf").c_str());
    zpfCnfPath = dir + "zpf.cnf";
    phrasePath = dir + "phrase.fdb";
    noFilterPath = dir + "nofilter.fdb";
    passURLPath = dir + "passurl.fdb";
    groupPath = dir + "group.cnf";
    timeCnfPath = dir + "time.cnf";
    ipLimitPath = dir + "iplist.cnf";
    ipPassPath = dir + "ippass.cnf";
    passwdPath = dir + "passwd";
}

ConfigrationFileSigleton::~ConfigrationFileSigleton() = default;

void ConfigrationFileSigleton::Error(const char* text) { errorText = text ? text : ""; }

// ---- load and save sequences ----

bool ConfigrationFileSigleton::Initialize()
{
    bool failed = false;
    unreadableFiles.clear();

    // Step 1: the administrator password from the registry (result ignored).
    (void)ReadPassword();

    // Step 2: groups. The standalone edition keeps the default group only.
    if (IsStandaloneEdition())
        groupList.InitGroupList(nullptr);
    else if (groupList.InitGroupList(groupPath.c_str()) != 0)
        failed = true;

    // Step 3: the weekly schedule.
    if (timeCnfList.Initialize())
        failed = true;

    // Step 4: the category list, merged so that known categories keep their index.
    if (categoryList.ReadCategoryFile())
        failed = true;

    // Step 5: exactly one settings record per group; existing records are kept.
    cnfData.resize(static_cast<size_t>(groupList.size()));

    // Step 6: every group starts from the category defaults (stale ones included).
    std::vector<int> defaults;
    for (const CCategory& c : categoryList.categories)
        defaults.push_back(c.defaultValue);
    for (ConfigrationFileData& data : cnfData)
        data.categoryStatus = defaults;

    // Step 7.
    if (ReadZpfCnf())
        failed = true;

    // Step 8: the phrase, no-filter and pass-URL lists.
    if (ReadPhrase())
        failed = true;
    if (ReadNoFilter())
        failed = true;
    if (ReadPassURL())
        failed = true;
    // Step 9: IP lists and accounts, network edition only; the standalone edition
    // leaves them empty.
    if (IsStandaloneEdition()) {
        ipList.clear();
        ipDataList.clear();
        passWordData.accounts.clear();
    } else {
        if (ipList.ReadFile(ipLimitPath.c_str()) != 0)
            failed = true;
        if (ipDataList.ReadFile(ipPassPath.c_str()) != 0)
            failed = true;
        passWordData.SetPath(passwdPath);
        if (passWordData.Initialize())
            failed = true;
    }

    // Step 10: a plain file that is not text loads as nothing; saving would make that
    // loss final, so such a file is reported and kept from the next save.
    std::vector<std::string> plain = {baseDirectory() + TimeCnfList::durationFilename};
    if (!IsStandaloneEdition())
        plain.insert(plain.end(), {groupPath, passwdPath, ipLimitPath, ipPassPath});
    for (const std::string& path : plain) {
        std::string bytes;
        if (platform::ReadFileBytes(path, bytes) && std::any_of(bytes.begin(), bytes.end(), isControlByte)) {
            Error(notConfigurationError(path, "control bytes in its text", false).c_str());
            unreadableFiles.push_back(path);
            failed = true;
        }
    }
    return failed;
}

bool ConfigrationFileSigleton::lockSaves()
{
    if (m_saveDepth == 0 && !m_saveLock.Acquire(directoryOf(zpfCnfPath), kSaveLockName, kSaveLockWaitMs)) {
        Error((directoryOf(zpfCnfPath) + ": another program is saving this directory").c_str());
        return false;
    }
    ++m_saveDepth;
    return true;
}

void ConfigrationFileSigleton::unlockSaves()
{
    if (m_saveDepth > 0 && --m_saveDepth == 0)
        m_saveLock.Release();
}

bool ConfigrationFileSigleton::mayOverwrite(const std::string& path, bool overwrite)
{
    if (std::find(unreadableFiles.begin(), unreadableFiles.end(), path) == unreadableFiles.end())
        return true;
    if (!overwrite) {
        Error((path + ": could not be read, so it is not written over").c_str());
        return false;
    }
    if (!platform::CopyFileAside(path, path + ".bak")) {
        Error((path + ": no copy could be kept, so it is not written over").c_str());
        return false;
    }
    return true;
}

void ConfigrationFileSigleton::forgetUnreadable(const std::string& path)
{
    unreadableFiles.erase(std::remove(unreadableFiles.begin(), unreadableFiles.end(), path), unreadableFiles.end());
}

bool ConfigrationFileSigleton::SaveAll(bool cipherCnf, bool phraseEuc, bool overwriteUnreadable)
{
    SaveScope lock(*this);
    if (!lock.held())
        return true;
    // Checked first, so a refused value leaves every file as it was.
    if (std::string error = CheckTexts(); !error.empty()) {
        Error(error.c_str());
        return true;
    }
    // Refused before anything is written, so the files stay consistent with each other.
    for (const std::string& path : unreadableFiles) {
        if (!mayOverwrite(path, overwriteUnreadable))
            return true;
    }
    unreadableFiles.clear();
    bool failed = false;
    if (groupList.WriteGroupList(groupPath.c_str()))
        failed = true;
    if (timeCnfList.WriteData())
        failed = true;
    if (WriteZpfCnf(cipherCnf, overwriteUnreadable))
        failed = true;
    if (WritePhrase(phraseEuc))
        failed = true;
    if (WriteNoFilter())
        failed = true;
    if (WritePassURL())
        failed = true;
    if (ipList.WriteFile(ipLimitPath.c_str()))
        failed = true;
    if (ipDataList.WriteFile(ipPassPath.c_str()))
        failed = true;
    passWordData.SetPath(passwdPath);
    if (passWordData.WriteData())
        failed = true;
    // Last: a password that could not be stored is a failure, not silence. An unchanged
    // one is left alone: another program may have set a new one since it was read.
    if ((!m_passwordKnown || adminPassword != m_storedPassword) && storePassword())
        failed = true;
    return failed;
}

// ---- reading zpf.cnf ----

bool ConfigrationFileSigleton::OpenZpfCnfRead()
{
    if (!cnfFile.Open(zpfCnfPath, "r")) {
        Error("ConfigrationFile Open Error");
        return true;
    }
    bCiphered = false;
    char first[kLineLimit];
    const size_t markerLength = std::strlen(kMarker);
    if (!cnfFile.Gets(first, kLineLimit) || std::strncmp(first, kMarker, markerLength) != 0) {
        cnfFile.Rewind();
        return false;
    }
    cnfFile.Close();
    bCiphered = true;
    if (des.SettingSystem(0) != 0) {
        Error("PropertiesFile Cipher Setting Error");
        return true;
    }
    if (des.OpenReadFile(zpfCnfPath.c_str()) != 0) {
        Error("PropertiesFile Cipher Open Error");
        return true;
    }
    // The body starts after the marker and its CR LF.
    if (des.Seek(static_cast<long>(markerLength) + 2, SEEK_SET) != 0) {
        des.CloseReadFile();
        Error("PropertiesFile Cipher Seek Error");
        return true;
    }
    return false;
}

void ConfigrationFileSigleton::CloseZpfCnfRead()
{
    if (bCiphered)
        des.CloseReadFile();
    else
        cnfFile.Close();
}

bool ConfigrationFileSigleton::ReadCnf1Line(std::string* key, std::string* value, int* group)
{
    char buf[kLineLimit + 1];
    for (;;) {
        if (bCiphered) {
            int r = des.ReadLine(buf, kLineLimit);
            if (r == -1)
                continue; // a line too long for the cipher's buffer is skipped once
            if (r != 0)
                return false;
        } else if (!cnfFile.Gets(buf, kLineLimit)) {
            return false;
        }
        if (buf[0] == '#')
            continue;
        if (buf[0] == '%') {
            std::string name = GroupList::GetGroupNameFromLine(buf);
            *group = groupList.GetGroupNo(name.c_str());
            continue;
        }
        size_t len = std::strlen(buf);
        while (len > 0 && isBlank(buf[len - 1]))
            --len;
        std::string line(buf, len);
        auto eq = line.find('=');
        if (eq == std::string::npos) {
            key->clear();
            value->clear();
        } else {
            *key = line.substr(0, eq);
            *value = line.substr(eq + 1);
        }
        return true;
    }
}

bool ConfigrationFileSigleton::checkEncipheredBody()
{
    // The writer pads the text to whole cipher units; anything else was cut or added to.
    const long long bodyBytes = platform::FileSize(zpfCnfPath) - static_cast<long long>(std::strlen(kMarker)) - 2;
    if (bodyBytes > 0 && bodyBytes % CDes::kUnit != 0) {
        Error(notConfigurationError(zpfCnfPath, "its length is not whole cipher units").c_str());
        return true;
    }
    CDes check;
    if (check.SettingSystem(0) != 0 || check.OpenReadFile(zpfCnfPath.c_str()) != 0 ||
        check.Seek(static_cast<long>(std::strlen(kMarker)) + 2, SEEK_SET) != 0)
        return false; // the reader reports what it cannot open
    std::string body;
    char buf[CDes::kUnit * 1024];
    int n;
    while ((n = check.ReadData(buf, sizeof buf)) > 0 && body.size() < (size_t{1} << 20))
        body.append(buf, static_cast<size_t>(n));
    check.CloseReadFile();
    // The last unit is padded with zero bytes.
    while (!body.empty() && body.back() == '\0')
        body.pop_back();
    if (std::any_of(body.begin(), body.end(), isControlByte)) {
        Error(notConfigurationError(zpfCnfPath, "control bytes in its text").c_str());
        return true;
    }
    return false;
}

bool ConfigrationFileSigleton::ReadZpfCnf()
{
    forgetUnreadable(zpfCnfPath);
    if (OpenZpfCnfRead())
        return true;
    // Deciphered with the wrong key or from damaged bytes, the text is noise: loading it
    // would give every default, and the next save would put them over the real ones.
    if (bCiphered && checkEncipheredBody()) {
        CloseZpfCnfRead();
        unreadableFiles.push_back(zpfCnfPath);
        return true;
    }
    if (cnfData.empty())
        cnfData.resize(1);
    int current = 0;
    int section = 0;
    bool sawHTTPSProxy = false;
    bool sawFTPProxy = false;
    bool anyText = false;
    int knownKeys = 0;
    std::string key, value;
    while (ReadCnf1Line(&key, &value, &section)) {
        anyText = anyText || !key.empty() || !value.empty();
        if (section < 0 || static_cast<size_t>(section) >= cnfData.size())
            continue;
        if (section != current) {
            current = section;
            // Every section starts from group 0's values as read so far.
            cnfData[static_cast<size_t>(current)] = cnfData[0];
        }
        ConfigrationFileData& data = cnfData[static_cast<size_t>(current)];
        if (const ConfigKey* k = FindConfigKey(key)) {
            k->Read(*this, current, value);
            ++knownKeys;
            sawHTTPSProxy |= key == "HTTPSProxy";
            sawFTPProxy |= key == "FTPProxy";
        } else if (key.find("fdb") != std::string::npos) {
            int index = categoryList.FindKey(key);
            if (index >= 0 && static_cast<size_t>(index) < data.categoryStatus.size())
                data.categoryStatus[static_cast<size_t>(index)] = parseInt(value);
            knownKeys += index >= 0 ? 1 : 0;
        }
    }
    CloseZpfCnfRead();
    // A plain file may hold anything a person wrote; an enciphered one was written by a
    // program and always names some key.
    if (bCiphered && anyText && knownKeys == 0) {
        Error(notConfigurationError(zpfCnfPath, "no known key in its text").c_str());
        unreadableFiles.push_back(zpfCnfPath);
        return true;
    }

    if (!Proxy.empty()) {
        if (!sawHTTPSProxy) {
            HTTPSProxy = Proxy;
            HTTPSProxyPort = ProxyPort;
        }
        if (!sawFTPProxy) {
            FTPProxy = Proxy;
            FTPProxyPort = ProxyPort;
        }
    }
    return false;
}

// ---- writing zpf.cnf ----

void ConfigrationFileSigleton::WriteCnf1Line(const char* line)
{
    // A line is at most 511 bytes with its line feed, the reader's limit. A longer one
    // is cut but keeps its line feed, so it cannot swallow the next key.
    std::string text(line ? line : "");
    if (text.size() > kLineLimit - 1) {
        bool hadNewline = !text.empty() && text.back() == '\n';
        text.resize(kLineLimit - 2);
        if (hadNewline)
            text.push_back('\n');
    }
    cnfText += text;
}

void ConfigrationFileSigleton::WriteCnf1Line(const char* key, std::string value)
{
    WriteCnf1Line((std::string(key) + "=" + value + "\n").c_str());
}

void ConfigrationFileSigleton::WriteCnf1Line(const char* key, long value)
{
    char buf[kLineLimit];
    std::snprintf(buf, sizeof buf, "%s=%ld\n", key, value);
    WriteCnf1Line(buf);
}

void ConfigrationFileSigleton::WriteCnf1Line(const char* key, int value)
{
    char buf[kLineLimit];
    std::snprintf(buf, sizeof buf, "%s=%d\n", key, value);
    WriteCnf1Line(buf);
}

void ConfigrationFileSigleton::WriteCnf1Line(const char* key, unsigned int value)
{
    char buf[kLineLimit];
    std::snprintf(buf, sizeof buf, "%s=%u\n", key, value);
    WriteCnf1Line(buf);
}

void ConfigrationFileSigleton::WriteCnf1Line(const char* key, bool value) { WriteCnf1Line(key, value ? 1 : 0); }

void ConfigrationFileSigleton::WriteCnfComment(std::string text) { WriteCnf1Line(("#" + text + "\n").c_str()); }

void ConfigrationFileSigleton::appendGlobals(bool written)
{
    for (const ConfigKey& k : kConfigKeys) {
        if (k.scope == ConfigScope::Global && k.written == written)
            WriteCnf1Line(k.name, k.Format(*this, 0));
    }
}

void ConfigrationFileSigleton::appendGroup(int group)
{
    static const ConfigrationFileData kDefaults;
    // A deleted group's section would have no name and read back into the group before it.
    if (group >= 1 && groupList[group].deleted)
        return;
    const ConfigrationFileData& data =
        static_cast<size_t>(group) < cnfData.size() ? cnfData[static_cast<size_t>(group)] : kDefaults;
    WriteCnf1Line("\n");
    if (group >= 1) {
        std::string section = "%";
        section += groupList.GetGroupName(group);
        section += "%\n";
        WriteCnf1Line(section.c_str());
    }
    for (int c = 0; c < categoryList.size(); ++c) {
        const CCategory& category = categoryList[c];
        WriteCnfComment(category.name);
        auto index = static_cast<size_t>(c);
        WriteCnf1Line(category.key.c_str(),
                      index < data.categoryStatus.size() ? data.categoryStatus[index] : category.defaultValue);
    }
    for (const ConfigKey& k : kConfigKeys) {
        if (k.scope == ConfigScope::Group && k.written)
            WriteCnf1Line(k.name, k.Format(*this, group));
    }
}

std::string ConfigrationFileSigleton::FormatZpfCnf(bool effective)
{
    std::string saved;
    saved.swap(cnfText);
    appendGlobals(true);
    // Read but never written: shown so the administrator sees what is in force.
    if (effective)
        appendGlobals(false);
    for (int g = 0; g < groupList.size(); ++g)
        appendGroup(g);
    std::string text;
    text.swap(cnfText);
    cnfText.swap(saved);
    return text;
}

bool ConfigrationFileSigleton::OpenZpfCnfWrite()
{
    cnfWriteFailed = false;
    cnfText.clear();
    return false;
}

void ConfigrationFileSigleton::CloseZpfCnfWrite()
{
    // Written beside the real file and renamed over it, so a failed or interrupted save
    // never leaves a half-written configuration. The upstream proxy's password is kept
    // here: a new file is the owner's only.
    const bool ok = platform::ReplaceFileAtomically(
        zpfCnfPath,
        [this](const std::string& temp) {
            if (!bCiphered) {
                if (!cnfFile.Open(temp, "w"))
                    return false;
                const bool written = cnfFile.Puts(cnfText);
                return cnfFile.Close() && written;
            }
            if (des.SettingSystem(1) != 0 || des.OpenWriteFile(temp.c_str()) != 0)
                return false;
            std::string marker = std::string(kMarker) + "\r\n";
            if (des.WriteString(marker.c_str()) != static_cast<int>(marker.size())) {
                des.CloseWriteFile(0);
                return false;
            }
            const long markerBytes = static_cast<long>(marker.size());
            const long units = (static_cast<long>(cnfText.size()) + CDes::kUnit - 1) / CDes::kUnit;
            bool written = cnfText.empty() || des.WriteData(cnfText.data(), static_cast<int>(cnfText.size())) >= 0;
            des.CloseWriteFile(1);
            // The cipher cannot report a short write; the file size can.
            return written && platform::FileSize(temp) == markerBytes + units * CDes::kUnit;
        },
        {}, platform::kPrivateFileMode);
    cnfWriteFailed = !ok;
}

std::string ConfigrationFileSigleton::CheckZpfCnf() const
{
    if (std::string error = groupList.CheckNames(); !error.empty())
        return error;
    for (const ConfigKey& k : kConfigKeys) {
        if (k.scope != ConfigScope::Global || k.type != ConfigType::Text || !k.written)
            continue;
        if (std::string error = k.ValueError(k.Format(*this, 0)); !error.empty())
            return error;
    }
    return {};
}

std::string ConfigrationFileSigleton::CheckTexts() const
{
    std::string error = CheckZpfCnf();
    return error.empty() ? passWordData.CheckAccounts() : error;
}

bool ConfigrationFileSigleton::WriteZpfCnf(bool cipher, bool overwriteUnreadable)
{
    if (std::string error = CheckZpfCnf(); !error.empty()) {
        Error(error.c_str());
        return true;
    }
    SaveScope lock(*this);
    if (!lock.held() || !mayOverwrite(zpfCnfPath, overwriteUnreadable))
        return true;
    bCiphered = cipher;
    if (OpenZpfCnfWrite())
        return true;
    appendGlobals(true);
    for (int g = 0; g < groupList.size(); ++g)
        appendGroup(g);
    CloseZpfCnfWrite();
    cnfText.clear();
    if (!cnfWriteFailed)
        forgetUnreadable(zpfCnfPath);
    return cnfWriteFailed;
}

// ---- accessors ----

const ConfigrationFileData* ConfigrationFileSigleton::groupData(int group) const
{
    if (group < 0 || static_cast<size_t>(group) >= cnfData.size())
        return nullptr;
    return &cnfData[static_cast<size_t>(group)];
}

int ConfigrationFileSigleton::doBlock(int group) const
{
    const auto* d = groupData(group);
    return Filtering && d ? d->Block : 0;
}

int ConfigrationFileSigleton::doBlockLog(int group) const
{
    const auto* d = groupData(group);
    return Filtering && d ? d->BlockLog : 0;
}

int ConfigrationFileSigleton::doAccessLog(int group) const
{
    const auto* d = groupData(group);
    return Filtering && d ? d->AccessLog : 0;
}

int ConfigrationFileSigleton::bZpfKeep() const
{
    return (CheckDuration != 0 || !RebootAt.empty() || !AutoUpdateAt.empty() || AutoUpdateAtBoot != 0) ? 1 : 0;
}

int ConfigrationFileSigleton::rebootAtHour() const { return hourOf(RebootAt); }
int ConfigrationFileSigleton::rebootAtMin() const { return minuteOf(RebootAt); }
int ConfigrationFileSigleton::AutoUpdateAtHour() const { return hourOf(AutoUpdateAt); }
int ConfigrationFileSigleton::AutoUpdateAtMin() const { return minuteOf(AutoUpdateAt); }

bool ConfigrationFileSigleton::useFilteringDB() const
{
    for (const auto& d : cnfData) {
        if (d.Block || d.BlockLog)
            return true;
    }
    return false;
}

const char* ConfigrationFileSigleton::GetPhrase(int group) const
{
    const auto* d = groupData(group);
    return d ? d->phraseText.c_str() : "";
}

const char* ConfigrationFileSigleton::GetNoFilter(int group) const
{
    const auto* d = groupData(group);
    return d ? d->noFilterText.c_str() : "";
}

const char* ConfigrationFileSigleton::GetPassURL(int group) const
{
    const auto* d = groupData(group);
    return d ? d->passURLText.c_str() : "";
}

void ConfigrationFileSigleton::SetPhrase(const char* text, int group)
{
    if (groupData(group)) {
        cnfData[static_cast<size_t>(group)].phraseText = text ? text : "";
        bPhraseChanged = true;
    }
}

void ConfigrationFileSigleton::SetNoFilter(const char* text, int group)
{
    if (groupData(group)) {
        cnfData[static_cast<size_t>(group)].noFilterText = text ? text : "";
        bNoFilterChanged = true;
    }
}

void ConfigrationFileSigleton::SetPassURL(const char* text, int group)
{
    if (groupData(group)) {
        cnfData[static_cast<size_t>(group)].passURLText = text ? text : "";
        bPassURLChanged = true;
    }
}

std::string ConfigrationFileSigleton::AddGroup(const char* name)
{
    if (std::string error = GroupList::NameError(name ? name : ""); !error.empty())
        return error;
    if (groupList.AddGroup(name))
        return "There is a group named \"" + std::string(name) + "\" already.";
    timeCnfList.AddGroup();
    if (cnfData.empty())
        cnfData.resize(1);
    cnfData.push_back(cnfData[0]);
    // The copy holds group 0's lists too: written now, as they are in force now.
    bPhraseChanged = bNoFilterChanged = bPassURLChanged = true;
    return {};
}

std::string ConfigrationFileSigleton::DeleteGroup(int group)
{
    if (group <= 0 || group >= groupList.size() || groupList[group].deleted)
        return "There is no group " + std::to_string(group) + " to delete.";
    groupList.DeleteGroup(group);
    // The list files are written only when changed; left as they are, the gone
    // group's section would read back into the group before it.
    bPhraseChanged = bNoFilterChanged = bPassURLChanged = true;
    return {};
}

std::string ConfigrationFileSigleton::RenameGroup(int group, const char* name)
{
    if (group <= 0 || group >= groupList.size() || groupList[group].deleted)
        return "There is no group " + std::to_string(group) + " to rename.";
    if (std::string error = GroupList::NameError(name ? name : ""); !error.empty())
        return error;
    const int holder = groupList.GetGroupNo(name);
    if (holder >= 0 && holder != group)
        return "There is a group named \"" + std::string(name) + "\" already.";
    groupList[group].name = name;
    // Sections name their group: every sectioned file must be written under the new name.
    bPhraseChanged = bNoFilterChanged = bPassURLChanged = true;
    return {};
}
