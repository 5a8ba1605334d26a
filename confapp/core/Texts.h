#pragma once

/// The application's fixed texts, in one place.
namespace texts {

inline constexpr const char* kAppTitle = "ヴァントレル";
inline constexpr const char* kEnterPassword = "パスワードを入力してください。";
inline constexpr const char* kWrongPassword = "パスワードが違います。";
inline constexpr const char* kOk = "OK";
inline constexpr const char* kCancel = "ｷｬﾝｾﾙ";
inline constexpr const char* kNoBitmap = "ビットマップファイルを開けません。";
inline constexpr const char* kNeverUpdated = "未更新";
inline constexpr const char* kSetProxyLabel = "ブラウザの設定を自動的に行う";
inline constexpr const char* kAutoUpdateLabel = "フィルタファイルを自動的に更新する";
inline constexpr const char* kPasswordLabel = "パスワード\n変更：";
inline constexpr const char* kLastUpdateLabel = "フィルタファイルの最終更新日：";
inline constexpr const char* kCategoryLabel = "フィルタ選択";
inline constexpr const char* kFilteringOn = "動作中";
inline constexpr const char* kFilteringOff = "停止中";
inline constexpr const char* kUserSettings = "ユーザ設定";
inline constexpr const char* kShowLog = "ログの表示";
inline constexpr const char* kUpdateFilter = "フィルタ更新";
inline constexpr const char* kHelp = "ヘルプ";
inline constexpr const char* kClose = "閉じる";
inline constexpr const char* kSheetCaption = "ユーザ 設定";
inline constexpr const char* kGroupLabel = "グループ：";
inline constexpr const char* kDefaultGroup = "(default)";
inline constexpr const char* kAskSave = "設定変更を保存しますか？";
inline constexpr const char* kRestarting = "設定が変更されたので、\n\nプログラムを一旦止めて、再び起動します。";
inline constexpr const char* kNoHelpTopic = "このヘルプトピックはありません。";
inline constexpr const char* kNoHelpFile = "Not Exist Html Help File\n\n   File Path [ %s ]";

// Our own texts for what the program reports beyond the fixed ones.
inline constexpr const char* kSaveFailed = "設定を保存できませんでした。";
inline constexpr const char* kPasswordSaveFailed = "パスワードを保存できませんでした。";
inline constexpr const char* kLoadFailed = "設定を読み込めませんでした。";
inline constexpr const char* kAskOverwriteUnreadable =
    "次のファイルは読み込めなかったため、保存すると置き換えられます（元のファイルは .bak として残します）。\n"
    "保存しますか？";
inline constexpr const char* kProxyStillRunning = "フィルタリングプログラムが終了しないため、再起動できませんでした。";
inline constexpr const char* kProxyStartFailed = "フィルタリングプログラムを起動できませんでした。";
inline constexpr const char* kPasswordUnencodable = "パスワードに使えない文字が含まれています。";
inline constexpr const char* kNoDisplay = "Vantrel: no display to show the window on (is DISPLAY set?)";

} // namespace texts
