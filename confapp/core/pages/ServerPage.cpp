// The proxy-information page: ports, upstream proxy, logs, browser settings.
#include "core/pages/ServerPage.h"

#include <cstring>

namespace {
const char* const kBrowserNote = "※ 自動設定に対応しているブラウザは、販売元のWebページでご確認ください。\n"
                                 "  それ以外のブラウザは、プロキシの設定を手動で行ってください。";
} // namespace

ServerPage::ServerPage(SettingsDocument& document, RunStateSource runState)
    : BoundPage(document, "Ｐｒｏｘｙ情報", false,
                {
                    {PageRow::Number, "Port", "クライアント接続用ポートの指定", "クライアント接続用ポート"},
                    {PageRow::Heading, nullptr, "プロキシサーバのアドレスとポートの指定"},
                    {PageRow::Text, "Proxy", "：アドレス", "プロキシサーバのアドレス"},
                    {PageRow::Number, "ProxyPort", "：ポート番号", "プロキシサーバのポート番号"},
                    {PageRow::Heading, nullptr, "プロキシサーバの認証アカウントとパスワードの指定"},
                    {PageRow::Text, "ProxyUsername", "：アカウント", "認証アカウント"},
                    {PageRow::Password, "ProxyPassword", "：パスワード", "認証パスワード"},
                    {PageRow::Check, "LogFlag", "日付別ログファイルを出力する"},
                    {PageRow::Number, "LogSize", "ログファイルの上限サイズ：", "ログファイルの上限サイズ", "Kbyte"},
                    {PageRow::Text, "LogPath", "ログファイルパス：", "ログファイルパス"},
                    {PageRow::Check, "SetProxy", "ブラウザの設定を自動的に行う"},
                    {PageRow::Note, nullptr, kBrowserNote},
                    {PageRow::Check, "NoConnectionsTab", "「インターネットオプション」の「接続」タブを非表示にする",
                     nullptr, nullptr, false},
                })
    , m_runState(std::move(runState))
{
}

void ServerPage::Load()
{
    BoundPage::Load();
    // The first load sees the document as saved; later ones may see unsaved edits.
    if (!m_savedPortKnown) {
        m_savedPort = document().config().Port;
        m_savedPortKnown = true;
    }
}

std::string ServerPage::shownText(const char* key, const std::string& stored) const
{
    if (std::strcmp(key, "ProxyPort") == 0 && stored == "0")
        return {};
    return BoundPage::shownText(key, stored);
}

bool ServerPage::enabled(const PageRow& row) const
{
    return !(row.key && std::strcmp(row.key, "LogSize") == 0) || !checked("LogFlag");
}

std::vector<std::string> ServerPage::infoLines() const
{
    if (!m_runState)
        return {};
    const ProxyRunState state = m_runState();
    if (!state.running)
        return {"フィルタリングプログラムは停止しています。"};
    std::string line = "フィルタリングプログラムは";
    line += state.service ? "サービスとして" : "";
    line += "ポート " + std::to_string(m_savedPort) + " で動作中です。";
    std::vector<std::string> out{line};
    if (text("Port") != std::to_string(m_savedPort))
        out.push_back("ポートの変更は、設定を保存して再起動したときに有効になります。");
    return out;
}
