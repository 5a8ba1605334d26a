#pragma once

#include <string>
#include <vector>

#include "cipher/CDes.h"
#include "config/Category.h"
#include "config/GroupList.h"
#include "config/IPlist.h"
#include "config/PassWord.h"
#include "config/TimeCnfList.h"
#include "platform/FileSystem.h"
#include "platform/TextFile.h"
#include "ravlin_export.h"

/// One group's settings record. Plain, copyable.
class RAVLIN_EXPORT ConfigrationFileData {
public:
    int Block = 1;
    int BlockLog = 1;
    int AccessLog = 0;
    int URLBlockFilter = 1;
    int ExtensionBlockFilter = 1;
    int AccessControlURL = 0;
    int UploadNoFilteringURL = 1;
    int DownloadNoFilteringURL = 1;
    int UploadReplaceFilter = 1;
    int DownloadReplaceFilter = 1;
    int UploadBlockFilter = 1;
    int PageBlockFilter = 1;
    int UserFilter = 1;
    int UserNoFilteringURL = 1;
    int UserAccessControlURL = 0;
    int MessageFlag = 0;
    int MessageCode = 0;
    long FilteringSize = 0;
    long DownloadSize = 0;
    std::string phraseText;
    std::string noFilterText;
    std::string passURLText;
    /// One value per category of the category list, in list order.
    std::vector<int> categoryStatus;
};

/// The process's configuration: every global setting as a public member named after
/// its zpf.cnf key, one ConfigrationFileData per group, and the other configuration
/// objects. Loaded by Initialize, written by SaveAll; bool results are true on
/// failure. Saves of one program directory by several processes are serialised by
/// the directory's save lock (kSaveLockName beside zpf.cnf); within a process, load and
/// save must not overlap with other users, and the first getInstance must finish
/// before a second thread calls it.
class RAVLIN_EXPORT ConfigrationFileSigleton {
public:
    static constexpr const char* kMarker = "PLXharbor";
    /// The lock file every save of the program directory holds.
    static constexpr const char* kSaveLockName = "save.lock";
    /// How long a save waits for another program's save to end.
    static constexpr int kSaveLockWaitMs = 10000;

    static ConfigrationFileSigleton* getInstance();
    virtual ~ConfigrationFileSigleton();
    ConfigrationFileSigleton(const ConfigrationFileSigleton&) = delete;
    ConfigrationFileSigleton& operator=(const ConfigrationFileSigleton&) = delete;

    /// Stores the text in errorText; shows and logs nothing.
    virtual void Error(const char* text);

    /// Loads every file of the program directory. Every step runs; true if any failed.
    /// A file that is not a configuration (see ReadZpfCnf; a plain file with control
    /// bytes) is reported in errorText and listed in unreadableFiles.
    [[nodiscard]] bool Initialize();
    /// Writes every file under the save lock; true if any write failed. Nothing is
    /// written when CheckTexts finds a value that cannot be (its text is then in
    /// errorText). The password is stored only when it differs from the one last read
    /// or stored, so a password another program set meanwhile stays. A file the last load found damaged (see
    /// unreadableFiles) is never written over: the whole save is refused unless
    /// overwriteUnreadable, and then a copy of it is kept as its name + ".bak".
    [[nodiscard]] bool SaveAll(bool cipherCnf, bool phraseEuc, bool overwriteUnreadable = false);
    /// Reads zpf.cnf. An enciphered file whose text is not a configuration (control
    /// bytes, or no known key in a text that is not empty: damaged, or enciphered with
    /// another key) fails with an error text naming the file and the reason, keeps the
    /// values read so far and is added to unreadableFiles.
    [[nodiscard]] bool ReadZpfCnf();
    /// Sets bCiphered to cipher and writes zpf.cnf under the save lock (see SaveAll for
    /// overwriteUnreadable). True, with the file left as it was, when it cannot be
    /// written or CheckZpfCnf finds a value that cannot be.
    [[nodiscard]] bool WriteZpfCnf(bool cipher, bool overwriteUnreadable = false);
    /// The first group name or zpf.cnf text that would not read back as it is, as a
    /// text to show; "" when there is none.
    std::string CheckZpfCnf() const;
    /// CheckZpfCnf, then the accounts of passwd; "" when every file can be written.
    std::string CheckTexts() const;

    /// adminPassword from the registry; true (and an empty password) when it cannot be read.
    [[nodiscard]] bool ReadPassword();
    /// Stores adminPassword in the registry under the save lock; true when it cannot be
    /// stored (also for a password of 256 characters or more).
    [[nodiscard]] bool WritePassword();

    /// Builds every default path from the program directory, as the constructor does
    /// (for a process that changes its program directory after the first getInstance).
    void SetDefaultPaths();

    void SetZpfCnf(const char* path) { zpfCnfPath = path; }
    void SetPhraseFdb(const char* path) { phrasePath = path; }
    void SetNoFilterFdb(const char* path) { noFilterPath = path; }
    void SetPassURLFdb(const char* path) { passURLPath = path; }
    void SetGroup(const char* path) { groupPath = path; }
    void SetTimeCnf(const char* path) { timeCnfPath = path; }
    void SetIPlimit(const char* path) { ipLimitPath = path; }
    void SetIPpass(const char* path) { ipPassPath = path; }

    int doBlock(int group) const;
    int doBlockLog(int group) const;
    int doAccessLog(int group) const;
    int bNoChange() const { return SetProxy; }
    int bZpfKeep() const;
    int bReboot() const { return RebootAt.empty() ? 0 : 1; }
    int rebootAtHour() const;
    int rebootAtMin() const;
    int bAutoUpdate() const { return AutoUpdateAt.empty() ? 0 : 1; }
    int AutoUpdateAtHour() const;
    int AutoUpdateAtMin() const;
    bool useFilteringDB() const;

    /// The group's list texts; an unknown group gives "".
    const char* GetPhrase(int group) const;
    const char* GetNoFilter(int group) const;
    const char* GetPassURL(int group) const;
    void SetPhrase(const char* text, int group);
    void SetNoFilter(const char* text, int group);
    void SetPassURL(const char* text, int group);

    /// Per-group list files (phrase.fdb, nofilter.fdb, passurl.fdb). Reading clears the
    /// change flag; true when the file cannot be opened (texts unchanged).
    [[nodiscard]] bool ReadPhrase();
    [[nodiscard]] bool ReadNoFilter();
    [[nodiscard]] bool ReadPassURL();
    /// Write the file (under the save lock) only when its change flag is set, then clear
    /// the flag. True when the file cannot be written (the flag stays set). phraseEuc
    /// takes every non-ASCII phrase as EUC-JP.
    [[nodiscard]] bool WritePhrase(bool phraseEuc);
    [[nodiscard]] bool WriteNoFilter();
    [[nodiscard]] bool WritePassURL();

    /// name := the display name of the first category with this number; false (and an
    /// empty name) when there is none. GetCategoryClass gives the same.
    bool GetCategoryName(unsigned short number, std::string& name) const;
    bool GetCategoryClass(unsigned short number, std::string& name) const;
    /// True when some group has a non-zero value for the category at this index.
    bool GetCategoryUse(int index) const;
    /// Number of live categories whose value in the group equals status.
    int GetStatusCategoryNum(int group, int status) const;

    /// Adds a group to the group list, the schedule and the per-group settings (a copy
    /// of group 0's record, its lists included). Returns "", or why nothing was added (a name the list
    /// holds already or one GroupList::NameError refuses) as a text to show.
    std::string AddGroup(const char* name);
    /// Marks a group other than 0 deleted: it keeps its number until the next load and
    /// the next save leaves it out of every file. Returns "" or why nothing changed.
    std::string DeleteGroup(int group);
    /// Gives a live group other than 0 a new name (GroupList::NameError applies); the
    /// next save writes every sectioned file under it. Returns "" or why not.
    std::string RenameGroup(int group, const char* name);

    /// The text WriteZpfCnf would write (plain form). With `effective`, the keys that
    /// are read but never written (ConfigWrite::NotWritten in config/ConfigKeys.h)
    /// follow the global lines, so every setting in force is shown.
    std::string FormatZpfCnf(bool effective);

    // ---- members, in the order of the library's interface ----
    std::string errorText;
    /// Files the last load found damaged; saves leave them alone unless told otherwise.
    std::vector<std::string> unreadableFiles;
    CCategoryList categoryList;
    std::string adminPassword;

    int Filtering = 1;
    unsigned int Port = 3036;
    std::string Proxy;
    unsigned int ProxyPort = 0;
    std::string HTTPSProxy;
    unsigned int HTTPSProxyPort = 0;
    std::string FTPProxy;
    unsigned int FTPProxyPort = 0;
    std::string ProxyUsername;
    std::string ProxyPassword;
    long LogSize = 1000;
    int SleepTime = 20;
    int TestMode = 0;
    std::string RebootAt;
    int CheckDuration = 0;
    std::string AutoUpdateAt;
    int AutoUpdateAtBoot = 0;
    int LogFlag = 0;
    std::string LogPath;
    int zpfAuthorization = 0;
    std::string ProgramIfMatch;
    int ListenBacklog = 10;
    int MaxSession = 30;
    int MaxFileNo = 0;
    int MsgNoSignal = 1;
    unsigned int ConnectTimeout = 120;
    int SetProxy = 0;
    int NoConnectionsTab = 0;
    /// The ports a CONNECT tunnel may reach: numbers separated by commas.
    std::string ConnectPorts = "443";
    /// Sessions one client address may hold at once; its further connections get 503.
    int MaxClientSession = 256;

    /// One record per group once Initialize has run.
    std::vector<ConfigrationFileData> cnfData;
    GroupList groupList;
    TimeCnfList timeCnfList{&groupList};
    /// The IP restriction list (iplist.cnf) and the IP policy list (ippass.cnf).
    IPlist ipList;
    IPDatalist ipDataList{&groupList};
    CPassWordData passWordData{&groupList};

    bool bPhraseChanged = false;
    bool bNoFilterChanged = false;
    bool bPassURLChanged = false;

    std::string zpfCnfPath;
    std::string phrasePath;
    std::string noFilterPath;
    std::string passURLPath;
    std::string groupPath;
    std::string timeCnfPath;
    std::string ipLimitPath;
    std::string ipPassPath;
    std::string passwdPath;

    bool bCiphered = false;

protected:
    /// Sets every default and builds the default paths from the program directory.
    ConfigrationFileSigleton();

    bool OpenZpfCnfRead();
    void CloseZpfCnfRead();
    /// Next key/value pair; *group is updated at section lines. False at end of file.
    bool ReadCnf1Line(std::string* key, std::string* value, int* group);
    bool OpenZpfCnfWrite();
    void CloseZpfCnfWrite();
    void WriteCnf1Line(const char* line);
    void WriteCnf1Line(const char* key, std::string value);
    void WriteCnf1Line(const char* key, long value);
    void WriteCnf1Line(const char* key, int value);
    void WriteCnf1Line(const char* key, unsigned int value);
    void WriteCnf1Line(const char* key, bool value);
    void WriteCnfComment(std::string text);

    CDes des;
    platform::TextFile cnfFile;
    std::string cnfText;
    /// Set when CloseZpfCnfWrite could not put the text on disk.
    bool cnfWriteFailed = false;

private:
    // Holds the save lock for one save; nested saves of the process share it.
    class SaveScope {
    public:
        explicit SaveScope(ConfigrationFileSigleton& cnf)
            : m_cnf(cnf)
            , m_held(cnf.lockSaves())
        {
        }
        ~SaveScope()
        {
            if (m_held)
                m_cnf.unlockSaves();
        }
        SaveScope(const SaveScope&) = delete;
        SaveScope& operator=(const SaveScope&) = delete;
        bool held() const { return m_held; }

    private:
        ConfigrationFileSigleton& m_cnf;
        bool m_held;
    };
    /// The save lock, taken once per process however deep saves nest.
    bool lockSaves();
    void unlockSaves();
    /// False (with an error text) when path was found damaged and may not be replaced;
    /// with overwrite, a copy of it is kept first.
    bool mayOverwrite(const std::string& path, bool overwrite);
    void forgetUnreadable(const std::string& path);
    bool checkEncipheredBody();
    bool storePassword();

    platform::DirectoryLock m_saveLock;
    int m_saveDepth = 0;
    /// The password as last read or stored, so SaveAll writes only a changed one.
    std::string m_storedPassword;
    bool m_passwordKnown = false;

    /// The global keys that WriteZpfCnf writes, or those it does not.
    void appendGlobals(bool written);
    void appendGroup(int group);
    const ConfigrationFileData* groupData(int group) const;
};
