#pragma once

/// The log viewer's fixed texts, in one place.
namespace texts {

inline constexpr const char* kLogViewTitle = "ログの表示";
inline constexpr const char* kLogFormatError = "ログファイルの形式が違います。";
inline constexpr const char* kLogCannotOpen = "ログファイルが開けません。";
inline constexpr const char* kLogCannotSave = "ログファイルが保存できません。";
inline constexpr const char* kLogTooManyRows = "ログデータの行数が、最大許容行数を超えました。";
inline constexpr const char* kLogAskEmpty = "削除してよろしいですか？";
inline constexpr const char* kLogOpenButton = "開く";
inline constexpr const char* kLogSaveButton = "保存";
inline constexpr const char* kLogEmptyButton = "削除";
inline constexpr const char* kLogPrintButton = "印刷";
inline constexpr const char* kLogCsvButton = "CSV";
inline constexpr const char* kLogHelpButton = "ヘルプ";
inline constexpr const char* kLogCloseButton = "終了";
inline constexpr const char* kLogBrowse = "ブラウザで表示(&B)\tCtrl+B";
inline constexpr const char* kLogCopy = "コピー(&C)\tCtrl+C";
inline constexpr const char* kLogFileFilter = "ﾛｸﾞ ﾌｧｲﾙ (*.log)|*.log|ﾃｷｽﾄ ﾌｧｲﾙ (*.txt)|*.txt|すべてのﾌｧｲﾙ (*.*)|*.*||";
inline constexpr const char* kLogDocName = "Printing File";
inline constexpr const char* kLogPrintHeader = "     ログファイル出力   page:%d   ";
inline constexpr const char* kLogPrintTime = "time:%H:%M:%S  date:%y/%m/%d";
inline constexpr const char* kClipboardFailed = "Unable to set Clipboard data";

// Our own texts for what the viewer reports beyond the fixed ones.
inline constexpr const char* kLogCannotEmpty = "ログファイルを空にできませんでした。";
inline constexpr const char* kLogTooLarge = "ログファイルが大きすぎるため、途中までを表示します。";
inline constexpr const char* kLogNotWebAddress = "このアドレスはブラウザで開けません。";
inline constexpr const char* kLogNoOpener = "このファイルを開くプログラムを起動できませんでした。";
inline constexpr const char* kLogFilterFrom = "期間：";
inline constexpr const char* kLogFilterTo = "～";
inline constexpr const char* kLogFilterClient = "IPアドレス：";
inline constexpr const char* kLogFilterGroup = "グループ：";
inline constexpr const char* kLogFilterCategory = "カテゴリ：";
inline constexpr const char* kLogFilterTag = "種類：";
inline constexpr const char* kLogFilterUrl = "URL：";
inline constexpr const char* kLogFollow = "追跡";
inline constexpr const char* kLogRowsShown = "%1 / %2 行";
inline constexpr const char* kLogBlocksPerCategory = "カテゴリ別ブロック数";
inline constexpr const char* kLogBlocksPerDay = "日別ブロック数（直近7日）";
inline constexpr const char* kLogNoCategory = "（なし）";
inline constexpr const char* kLogOtherCategories = "その他";

} // namespace texts
