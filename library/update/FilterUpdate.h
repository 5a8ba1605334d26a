#pragma once

#include <ctime>
#include <string>

#include "ravlin_export.h"
#include "update/HttpClient.h"

/// Result of an update of the filter database.
using UpdateError = int;
constexpr UpdateError kUpdateOk = 0;
constexpr UpdateError kUpdateNetworkStart = 1;
constexpr UpdateError kUpdateNetworkVersion = 2;
constexpr UpdateError kUpdateImage = 12;
constexpr UpdateError kUpdateTarget = 13;
constexpr UpdateError kUpdateNoFilUp = 14;
constexpr UpdateError kUpdateNoFilDown = 15;
constexpr UpdateError kUpdateCategoryList = 16;
constexpr UpdateError kUpdateCategoryReload = 17;
constexpr UpdateError kUpdateCategoryFile = 18;
constexpr UpdateError kUpdateRunning = 999;
constexpr UpdateError kUpdateConfiguration = -1;

/// How far an update got: the step bar (steps 1 to 8, then one per category file), the
/// file being fetched and its bytes. A window, a terminal bar or nothing implements it.
class RAVLIN_EXPORT UpdateProgress : public ByteProgress {
public:
    /// The step bar runs from 0 to `range`; 23 when the update starts.
    virtual void SetStepRange(int range) = 0;
    virtual void SetStep(int position) = 0;
    /// The file about to be fetched, by its name in the program directory.
    virtual void SetFile(const std::string& name) = 0;
};

/// Where the update's messages go: a message box in the application, standard error
/// in the tool. Called on the updating thread.
class RAVLIN_EXPORT UpdateMessageSink {
public:
    virtual ~UpdateMessageSink() = default;
    virtual void Show(const std::string& text) = 0;
};

/// Installs the sink (null: standard error). The sink must outlive every update.
RAVLIN_EXPORT void SetUpdateMessageSink(UpdateMessageSink* sink);

/// The download message and the incomplete-file message.
inline constexpr const char* kDownloadErrorText = "エラーの為、ダウンロードできません。";
inline constexpr const char* kIncompleteFileText = "正しくファイルが取得できていません。\n再度、更新を行って下さい。";
/// The line that ends every enciphered database file.
inline constexpr const char* kEndMarker = "*** End of filtering database. ***";
/// Where an update stages its files before installing them, in the program directory.
inline constexpr const char* kStagingFolder = "update.tmp";

/// The date of the last successful update (day.txt), "Never" until one is read.
class RAVLIN_EXPORT CUpdateDateSigleton {
public:
    static CUpdateDateSigleton* getInstance();

    /// Reads at most 10 characters of the date file; 1 when it cannot be opened, else 0.
    int ReadUpdateDate();
    /// Sets the date text to today ("%Y/%m/%d") and writes it without a line end,
    /// replacing the file in one step; 1 when it cannot be written, else 0.
    int WriteUpdateDate();
    const char* GetUpdateDate() const { return m_date.c_str(); }
    void SetDateTxt(const char* path) { m_path = path ? path : ""; }

private:
    CUpdateDateSigleton();
    std::string m_date = "Never";
    std::string m_path;
};

/// The address of the update server that the built-in addresses name: "http://" + the
/// build's update host + "/", or what SetUpdateServer set.
RAVLIN_EXPORT std::string UpdateServer();
/// Replaces the update server (an http address; a missing trailing "/" is added) in the
/// built-in addresses and in the category addresses that name the built-in server.
/// False, nothing changed, for an address that is not http.
RAVLIN_EXPORT bool SetUpdateServer(const std::string& address);
/// The built-in address of an update file by its resource number (2038 to 2042); "" for
/// another number.
RAVLIN_EXPORT std::string BuiltInUpdateAddress(int resource);
/// The address a category's key file is fetched from (its `rest`, on the current server
/// when it names the built-in one).
RAVLIN_EXPORT std::string CategoryAddress(const std::string& rest);

/// The download bounds every update uses (tests shorten them).
RAVLIN_EXPORT void SetUpdateLimits(const HttpLimits& limits);
RAVLIN_EXPORT HttpLimits GetUpdateLimits();

/// Fetches the image, the database files, the category list and every live category's
/// key file into the staging folder, checks each enciphered file's end line, and only
/// when all arrived installs them together, each replacing its file in one step; then
/// extends every group's category values by the new categories' defaults and writes
/// day.txt. A failure installs nothing. progress may be null; quiet shows no message
/// and no progress; base, when not empty, is the address the file names are appended
/// to instead of the built-in addresses; hosts, when given, holds resolved hosts.
/// 999 while another update of the program directory runs, in any process.
RAVLIN_EXPORT UpdateError UpdateFilter(UpdateProgress* progress, bool noCache, const char* base, bool quiet,
                                       const HostAddress* hosts);
/// The update for a caller without a window: loads the configuration (-1 when that
/// fails), runs UpdateFilter, shows the result's message unless quiet, writes zpf.cnf
/// unless noSave and logs the outcome in status.log.
RAVLIN_EXPORT UpdateError FilterUpdate(bool noCache, const char* base, bool noSave, bool quiet,
                                       UpdateProgress* progress = nullptr);
/// Shows the message of a result code through the sink; codes without one show nothing.
RAVLIN_EXPORT void DispError(UpdateError code);
/// The message of a result code; "" when it has none.
RAVLIN_EXPORT const char* UpdateErrorText(UpdateError code);
/// Local midnight of the date in day.txt, or 0 when there is none.
RAVLIN_EXPORT std::time_t GetLastUpdate();
/// Resolves the host of every update address and live category address into hosts.
RAVLIN_EXPORT void SetURLhost(HostAddress& hosts);
/// Appends a time-stamped line to status.log.
RAVLIN_EXPORT void StatusLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
/// True when the enciphered file has the end line.
RAVLIN_EXPORT bool HasEndMarker(const std::string& path);
/// Copies a file over another in one step; failures are not reported.
RAVLIN_EXPORT void flcopy(const char* from, const char* to, int flag);
