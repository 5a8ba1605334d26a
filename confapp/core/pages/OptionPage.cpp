// The block-options page of the group being edited.
#include "core/pages/OptionPage.h"

#include <cstring>

#include "platform/FileSystem.h"

OptionPage::OptionPage(SettingsDocument& document)
    : BoundPage(
          document, "ブロック情報", true,
          {
              {PageRow::Check, "AccessLog", "全アクセスの情報を記録する"},
              {PageRow::Check, "BlockLog", "ブロック対象情報を記録する"},
              {PageRow::Check, "Block", "有害情報のブロックを行う"},
              {PageRow::Check, "MessageFlag", "ブロックしたときにメッセージ表示をする"},
              {PageRow::Check, "MessageCode", "ブロックしたときのメッセージをOKコードにする"},
              {PageRow::Number, "FilteringSize", "フィルタリングするサイズ：", "フィルタリングするサイズ", "byte"},
              {PageRow::Heading, nullptr, "Orvane'提供フィルタの適用"},
              {PageRow::Check, "URLBlockFilter", "URLブロックフィルタ"},
              {PageRow::Check, "UploadNoFilteringURL", "検索フィルタリング対象外サイト"},
              {PageRow::Check, "DownloadNoFilteringURL", "フィルタリング対象外サイト"},
              {PageRow::Check, "UploadReplaceFilter", "検索用フレーズ置換フィルタ"},
              {PageRow::Check, "DownloadReplaceFilter", "フレーズ置換フィルタ"},
              {PageRow::Check, "PageBlockFilter", "フレーズブロックフィルタ"},
              {PageRow::Check, "AccessControlURL", "アクセス制限フィルタ", nullptr, nullptr, false},
          })
{
}

void OptionPage::Load()
{
    BoundPage::Load();
    m_accessControl = platform::FileSize(document().programDirectory() + "target.fdb") >= kMinTargetBytes;
}

bool OptionPage::enabled(const PageRow& row) const
{
    return !(row.key && std::strcmp(row.key, "AccessControlURL") == 0) || m_accessControl;
}
