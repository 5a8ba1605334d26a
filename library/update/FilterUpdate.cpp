// The filter database update: fetch every file of the database into a staging folder,
// check each, and install them together only when all arrived.
#include "update/FilterUpdate.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <string_view>
#include <vector>

#include "cipher/CDes.h"
#include "common/BaseDirectory.h"
#include "common/Clock.h"
#include "config/ConfigrationFile.h"
#include "platform/FileSystem.h"
#include "platform/InstanceLock.h"
#include "platform/NamedEvent.h"
#include "platform/Socket.h"
#include "platform/TextFile.h"

#ifndef ZPF_UPDATE_HOST
#define ZPF_UPDATE_HOST "update.invalid"
#endif

namespace {

constexpr const char* kUpdateLockName = "__zpfUpdateFilter";
constexpr const char* kDownloadName = "gethttp.tmp";
// Written into the staging folder once every file is there, before the first rename.
constexpr const char* kInstallList = "install.list";
constexpr int kInitialStepRange = 23;
constexpr int kEndMarkerLineSize = 256;

const std::string kBuiltInServer = "http://" ZPF_UPDATE_HOST "/";

struct UpdateFile {
    const char* name;
    int resource;
    bool endMarker;
    UpdateError failure;
    int stepAfter;
};
constexpr std::array<UpdateFile, 5> kUpdateFiles{{
    {"VTLImage.bmp", 2038, false, kUpdateImage, 3},
    {"target.fdb", 2040, true, kUpdateTarget, 4},
    {"nofilup.fdb", 2041, true, kUpdateNoFilUp, 5},
    {"nofildow.fdb", 2042, true, kUpdateNoFilDown, 6},
    {"category2.cnf", 2039, true, kUpdateCategoryList, 7},
}};

// Files of the program directory that a category's key file must never replace.
constexpr std::array<std::string_view, 23> kReservedNames{
    "VTLImage.bmp", "target.fdb",   "nofilup.fdb", "nofildow.fdb", "category2.cnf", "zpf.cnf",
    "phrase.fdb",   "nofilter.fdb", "passurl.fdb", "group.cnf",    "time.cnf",      "iplist.cnf",
    "ippass.cnf",   "passwd",       "day.txt",     "status.log",   "zpf",           "zpfctl",
    "zpf.log",      "libravlin.so", "registry.db", "Vantrel",      "VTLImage.bak"};

std::string g_server = kBuiltInServer;
HttpLimits g_limits;
UpdateMessageSink* g_sink = nullptr;

void show(const std::string& text)
{
    if (g_sink)
        g_sink->Show(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

bool reservedKey(const std::string& key)
{
    if (key.empty() || key.starts_with("zpf") || key == kStagingFolder || key == "run" || key == "save.lock" ||
        key == kInstallList || key == kDownloadName)
        return true;
    for (std::string_view name : kReservedNames) {
        if (key == name)
            return true;
    }
    return false;
}

// One update's steps and what they share: the staging folder, the settings, how to show.
class Updater {
public:
    Updater(UpdateProgress* progress, bool noCache, const char* base, bool quiet, const HostAddress* hosts)
        : m_progress(quiet ? nullptr : progress)
        , m_noCache(noCache)
        , m_base(base ? base : "")
        , m_quiet(quiet)
        , m_hosts(hosts)
        , m_stage(baseDirectory() + kStagingFolder + "/")
    {
    }
    ~Updater() { platform::RemoveTree(m_stage); }
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    UpdateError Run();

private:
    void mark(int step)
    {
        if (m_quiet)
            return;
        if (m_progress)
            m_progress->SetStep(step);
        else
            std::fputc('+', stderr);
    }
    bool fetch(const std::string& address, const std::string& name, bool endMarker);
    UpdateError install();
    void finishInterruptedInstall();

    UpdateProgress* m_progress;
    bool m_noCache;
    std::string m_base;
    bool m_quiet;
    const HostAddress* m_hosts;
    std::string m_stage;
    // Staged files in the order they are installed, with the code of their step.
    std::vector<std::pair<std::string, UpdateError>> m_staged;
};

// FetchFile: download into the staging folder's download file, check the end line, then
// give the file its name in the staging folder. Nothing outside the folder changes.
bool Updater::fetch(const std::string& address, const std::string& name, bool endMarker)
{
    if (m_progress)
        m_progress->SetFile(name);
    const ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    const std::string download = m_stage + kDownloadName;
    const int got = HttpGetToFile(m_progress, address, cnf->Proxy, cnf->ProxyPort, cnf->ProxyUsername,
                                  cnf->ProxyPassword, download, m_noCache, m_hosts, g_limits);
    if (got != kHttpOk) {
        (void)platform::RemoveFile(download);
        if (!m_quiet)
            show(kDownloadErrorText);
        return false;
    }
    if (endMarker && !HasEndMarker(download)) {
        (void)platform::RemoveFile(download);
        if (!m_quiet)
            show(kIncompleteFileText);
        return false;
    }
    return std::rename(download.c_str(), (m_stage + name).c_str()) == 0;
}

UpdateError Updater::Run()
{
    finishInterruptedInstall();
    platform::RemoveTree(m_stage); // what a killed update left
    if (!platform::MakeDirectory(m_stage))
        return kUpdateImage;
    if (m_progress)
        m_progress->SetStepRange(kInitialStepRange);
    mark(1);
    for (const UpdateFile& file : kUpdateFiles) {
        const std::string address = m_base.empty() ? BuiltInUpdateAddress(file.resource) : m_base + file.name;
        if (!fetch(address, file.name, file.endMarker))
            return file.failure;
        mark(file.stepAfter);
    }

    // The new list merges into a copy: the configuration changes only once all is installed.
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    CCategoryList list = cnf->categoryList;
    list.SetPath((m_stage + "category2.cnf").c_str());
    if (list.ReadCategoryFile())
        return kUpdateCategoryReload;
    if (m_progress)
        m_progress->SetStepRange(list.GetCategoryNum() + 8);
    mark(8);

    int fetched = 0;
    for (int i = 0; i < list.GetCategoryNum(); ++i) {
        const CCategory& category = list[i];
        if (category.stale)
            continue;
        if (reservedKey(category.key) || !fetch(CategoryAddress(category.rest), category.key, true))
            return kUpdateCategoryFile;
        m_staged.emplace_back(category.key, kUpdateCategoryFile);
        mark(9 + fetched++);
    }
    // Key files before the lists that name them, the category list last.
    m_staged.emplace(m_staged.begin(), "VTLImage.bmp", kUpdateImage);
    m_staged.emplace_back("target.fdb", kUpdateTarget);
    m_staged.emplace_back("nofilup.fdb", kUpdateNoFilUp);
    m_staged.emplace_back("nofildow.fdb", kUpdateNoFilDown);
    m_staged.emplace_back("category2.cnf", kUpdateCategoryList);
    if (UpdateError installed = install(); installed != kUpdateOk)
        return installed;

    // Categories the new list adds start at their default in every group.
    const size_t start = cnf->cnfData.empty() ? 0 : cnf->cnfData[0].categoryStatus.size();
    for (size_t i = start; i < list.categories.size(); ++i) {
        for (int g = 0; g < static_cast<int>(cnf->cnfData.size()); ++g) {
            if (g < cnf->groupList.GetGroupNum() && cnf->groupList[g].deleted)
                continue;
            cnf->cnfData[static_cast<size_t>(g)].categoryStatus.push_back(list.categories[i].defaultValue);
        }
    }
    list.SetPath(cnf->categoryList.path.c_str());
    cnf->categoryList = list;
    return kUpdateOk;
}

// Every file arrived and passed its check: each replaces its installed file in one step,
// flushed to the disk first, so a reader sees the old or the new file, never a mixture.
// The list of names goes first, so an update killed among the renames is finished by
// the next one instead of leaving new key files beside an old category list.
UpdateError Updater::install()
{
    std::string names;
    for (const auto& entry : m_staged)
        names += entry.first + "\n";
    if (!platform::ReplaceFileAtomically(m_stage + kInstallList, [&](const std::string& temp) {
            platform::TextFile file;
            if (!file.Open(temp, "wb"))
                return false;
            const bool ok = file.Puts(names);
            return file.Close() && ok;
        }))
        return m_staged.front().second;
    for (const auto& [name, code] : m_staged) {
        if (!platform::ReplaceFileAtomically(
                baseDirectory() + name, [](const std::string&) { return true; }, m_stage + name))
            return code;
    }
    return kUpdateOk;
}

void Updater::finishInterruptedInstall()
{
    platform::TextFile list;
    if (!list.Open(m_stage + kInstallList, "rb"))
        return;
    std::string name;
    int installed = 0;
    for (int count = 0; count < CCategoryList::kMaxCategories + 5 && list.ReadLine(name, 255); ++count) {
        if (name.empty() || name.find('/') != std::string::npos || name == kInstallList || name == kDownloadName)
            continue;
        if (platform::FileSize(m_stage + name) >= 0 &&
            platform::ReplaceFileAtomically(
                baseDirectory() + name, [](const std::string&) { return true; }, m_stage + name))
            ++installed;
    }
    if (installed > 0)
        StatusLog("Filter Update finished an interrupted install of %d files\n", installed);
}

} // namespace

CUpdateDateSigleton::CUpdateDateSigleton()
    : m_path(baseDirectory() + "day.txt")
{
}

CUpdateDateSigleton* CUpdateDateSigleton::getInstance()
{
    static CUpdateDateSigleton instance;
    return &instance;
}

int CUpdateDateSigleton::ReadUpdateDate()
{
    platform::TextFile file;
    if (!file.Open(m_path, "r"))
        return 1;
    char text[11] = {};
    const size_t n = file.ReadBytes(text, 10);
    m_date.assign(text, n);
    return 0;
}

int CUpdateDateSigleton::WriteUpdateDate()
{
    std::tm now{};
    zpfclock::LocalNow(&now);
    char text[16];
    std::strftime(text, sizeof text, "%Y/%m/%d", &now);
    m_date = text;
    const bool written = platform::ReplaceFileAtomically(m_path, [&](const std::string& temp) {
        platform::TextFile file;
        if (!file.Open(temp, "w"))
            return false;
        const bool ok = file.Puts(m_date);
        return file.Close() && ok;
    });
    return written ? 0 : 1;
}

std::string UpdateServer() { return g_server; }

bool SetUpdateServer(const std::string& address)
{
    std::string host, path;
    unsigned port = 0;
    if (!ParseHttpUrl(address, host, path, port))
        return false;
    g_server = address.ends_with("/") ? address : address + "/";
    return true;
}

std::string BuiltInUpdateAddress(int resource)
{
    for (const UpdateFile& file : kUpdateFiles) {
        if (file.resource == resource)
            return g_server + "zpfl/" + file.name;
    }
    return {};
}

std::string CategoryAddress(const std::string& rest)
{
    if (rest.starts_with(kBuiltInServer))
        return g_server + rest.substr(kBuiltInServer.size());
    return rest;
}

void SetUpdateLimits(const HttpLimits& limits) { g_limits = limits; }
HttpLimits GetUpdateLimits() { return g_limits; }
void SetUpdateMessageSink(UpdateMessageSink* sink) { g_sink = sink; }

UpdateError UpdateFilter(UpdateProgress* progress, bool noCache, const char* base, bool quiet, const HostAddress* hosts)
{
    platform::InstanceLock running;
    if (!running.Acquire(platform::RuntimeDirectory(baseDirectory()), kUpdateLockName))
        return kUpdateRunning;
    if (platform::NetworkStartup() != 0)
        return kUpdateNetworkStart;
    UpdateError result;
    {
        Updater updater(progress, noCache, base, quiet, hosts);
        result = updater.Run();
    }
    platform::NetworkCleanup();
    if (result == kUpdateOk)
        (void)CUpdateDateSigleton::getInstance()->WriteUpdateDate();
    return result;
}

UpdateError FilterUpdate(bool noCache, const char* base, bool noSave, bool quiet, UpdateProgress* progress)
{
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    if (cnf->Initialize())
        return kUpdateConfiguration;
    const UpdateError result = UpdateFilter(progress, noCache, base, quiet, nullptr);
    if (result != kUpdateOk) {
        if (!quiet)
            DispError(result);
        if (result != kUpdateRunning)
            StatusLog("Filter Update Error %d, nothing changed\n", result);
        return result;
    }
    if (!noSave)
        (void)cnf->WriteZpfCnf(cnf->bCiphered);
    StatusLog("Filter Update OK\n");
    return kUpdateOk;
}

const char* UpdateErrorText(UpdateError code)
{
    switch (code) {
    case kUpdateNetworkStart:
        return "WinSockの初期化(WSAStartup) エラー";
    case kUpdateNetworkVersion:
        return "WinSockのバージョンがサポートされていません";
    case kUpdateImage:
        return "エラーの為、イメージの取得ができません。";
    case kUpdateTarget:
        return "エラーの為、カテゴリリストが更新できません。";
    case kUpdateNoFilDown:
        return "エラーの為、フィルタリングＤＢが更新できません。";
    case kUpdateRunning:
        return "既にフィルタ更新中です。（自動更新中の可能性があります。）";
    default:
        return "";
    }
}

void DispError(UpdateError code)
{
    const char* text = UpdateErrorText(code);
    if (*text)
        show(text);
}

std::time_t GetLastUpdate()
{
    platform::TextFile file;
    if (!file.Open(baseDirectory() + "day.txt", "r"))
        return 0;
    char text[32] = {};
    (void)file.ReadBytes(text, sizeof text - 1);
    int year = 0, month = 0, day = 0;
    if (std::sscanf(text, "%d/%d/%d", &year, &month, &day) != 3 || year < 1970 || year > 9999 || month < 1 ||
        month > 12 || day < 1 || day > 31)
        return 0;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    return t < 0 ? 0 : t;
}

void SetURLhost(HostAddress& hosts)
{
    for (int resource : {2038, 2040, 2041, 2042, 2039})
        hosts.AddHost(BuiltInUpdateAddress(resource));
    const CCategoryList& list = ConfigrationFileSigleton::getInstance()->categoryList;
    for (int i = 0; i < list.GetCategoryNum(); ++i) {
        if (!list[i].stale)
            hosts.AddHost(CategoryAddress(list[i].rest));
    }
}

void StatusLog(const char* format, ...)
{
    platform::TextFile file;
    if (!file.Open(baseDirectory() + "status.log", "a"))
        return;
    std::tm now{};
    zpfclock::LocalNow(&now);
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    (void)file.Printf("%4d/%02d/%02d,%02d:%02d:%02d, %s", now.tm_year + 1900, now.tm_mon + 1, now.tm_mday, now.tm_hour,
                      now.tm_min, now.tm_sec, text);
    file.Close();
}

bool HasEndMarker(const std::string& path)
{
    CDes des;
    if (des.Setting(0, 4, CDes::kKey, CDes::kIV, CDes::kUnit, CDes::kShift) != 0 || des.OpenReadFile(path.c_str()) != 0)
        return false;
    char line[kEndMarkerLineSize + 1];
    bool found = false;
    for (int rc; !found && (rc = des.ReadLine(line, kEndMarkerLineSize)) != 1;)
        found = rc == 0 && line[0] == '*' && std::string_view(line) == kEndMarker;
    des.CloseReadFile();
    return found;
}

void flcopy(const char* from, const char* to, int /*flag*/)
{
    std::string bytes;
    if (!from || !to || !platform::ReadFileBytes(from, bytes))
        return;
    (void)platform::ReplaceFileAtomically(to, [&](const std::string& temp) {
        platform::TextFile file;
        if (!file.Open(temp, "wb"))
            return false;
        const bool ok = file.Puts(bytes);
        return file.Close() && ok;
    });
}
