// The additional-filter, no-filtering and access-restriction pages.
#include "core/pages/ListPage.h"

#include "common/Encoding.h"
#include "config/ConfigKeys.h"
#include "config/ListChecks.h"

namespace {

struct KindInfo {
    const char* caption;
    const char* switchKey;
    const char* switchLabel;
    const char* explanation;
    std::string ConfigrationFileData::*text;
};

const KindInfo kKinds[] = {
    {"追加フィルタ", "UserFilter", "追加フィルタを使用する",
     "１．URLを１行に１つ入力してブロック\n\n"
     "２．{{語句}}のように１行に１つの語句を入力し、ページのブロックを行なう。\n    （'{}'は半角）\n"
     "３．[[語句]]のように１行に１つの語句を入力し、空白に置き換えて\n    表示する。（'[]'は半角）",
     &ConfigrationFileData::phraseText},
    {"ﾌｨﾙﾀﾘﾝｸﾞ対象外", "UserNoFilteringURL", "フィルタリング対象外を使用する",
     "フィルタリングの対象としないURLを、１行に１つ入力します。\n    例）www.example.com/",
     &ConfigrationFileData::noFilterText},
    {"アクセス制限", "UserAccessControlURL", "アクセス制限を使用する",
     "指定するアドレス以外には、アクセスできないようにします。\n\n"
     "アクセスを許可するURLのみを、１行に１つ入力します。\n    例）www.example.com/\n        www.example.org/kids/",
     &ConfigrationFileData::passURLText},
};

const KindInfo& info(ListPage::Kind kind) { return kKinds[static_cast<int>(kind)]; }

// Splits at LF; a text ending in LF has no empty last line.
template <class F> void forEachLine(const std::string& text, F&& f)
{
    size_t start = 0;
    int number = 1;
    while (start < text.size()) {
        const size_t lf = text.find('\n', start);
        const size_t end = lf == std::string::npos ? text.size() : lf;
        if (!f(std::string_view(text).substr(start, end - start), number++))
            return;
        start = end + 1;
    }
}

} // namespace

ListPage::ListPage(SettingsDocument& document, Kind kind)
    : SettingsPage(document)
    , m_kind(kind)
{
}

std::string ListPage::caption() const { return info(m_kind).caption; }
const char* ListPage::switchLabel() const { return info(m_kind).switchLabel; }
const char* ListPage::explanation() const { return info(m_kind).explanation; }

int* ListPage::switchIn(int group)
{
    const ConfigKey* key = FindConfigKey(info(m_kind).switchKey);
    return key ? key->Member<int>(document().config(), group) : nullptr;
}

void ListPage::LoadGroup(int group)
{
    m_group = group;
    ConfigrationFileSigleton& cnf = document().config();
    const std::string* stored = nullptr;
    if (group >= 0 && static_cast<size_t>(group) < cnf.cnfData.size())
        stored = &(cnf.cnfData[static_cast<size_t>(group)].*info(m_kind).text);
    m_loadedLines.clear();
    m_text.clear();
    if (stored) {
        forEachLine(*stored, [this](std::string_view line, int) {
            const std::string shown = encoding::sjisToUtf8(line);
            m_loadedLines.emplace(shown, std::string(line));
            return true;
        });
        m_text = encoding::sjisToUtf8(*stored);
    }
    m_loadedText = m_text;
    const int* on = switchIn(group);
    m_switch = m_loadedSwitch = on && *on != 0;
}

ListPage::Checked ListPage::check() const
{
    Checked out;
    const bool phrase = m_kind == Kind::Phrase;
    forEachLine(m_text, [&](std::string_view shown, int number) {
        std::string sjis;
        if (auto it = m_loadedLines.find(std::string(shown)); it != m_loadedLines.end())
            // Untouched: its bytes as they were, even ones we could not show, and not
            // checked again: a line the file held must not keep the user on the page.
            sjis = it->second;
        else if (!listchecks::EntryFromUtf8(shown, sjis))
            out.error = listchecks::UnencodableError(number);
        else
            out.error = listchecks::EntryError(sjis, number, phrase);
        if (!out.error.empty())
            return false;
        out.sjis += sjis;
        out.sjis += '\n';
        return true;
    });
    if (!out.error.empty())
        return out;
    // The whole file, with this group's new text, must stay readable.
    const ConfigrationFileSigleton& cnf = document().config();
    std::vector<const std::string*> texts;
    for (const ConfigrationFileData& d : cnf.cnfData)
        texts.push_back(&(d.*info(m_kind).text));
    if (m_group >= 0 && static_cast<size_t>(m_group) < texts.size())
        texts[static_cast<size_t>(m_group)] = &out.sjis;
    out.error = listchecks::FileSizeError(cnf.groupList, texts, phrase);
    return out;
}

std::string ListPage::Validate() const { return m_text == m_loadedText ? std::string() : check().error; }

void ListPage::StoreGroup(int group)
{
    if (m_text != m_loadedText) {
        Checked c = check();
        if (c.error.empty()) {
            ConfigrationFileSigleton& cnf = document().config();
            const std::string& text = c.sjis;
            switch (m_kind) {
            case Kind::Phrase:
                cnf.SetPhrase(text.c_str(), group);
                break;
            case Kind::NoFilter:
                cnf.SetNoFilter(text.c_str(), group);
                break;
            case Kind::PassUrl:
                cnf.SetPassURL(text.c_str(), group);
                break;
            }
            m_loadedText = m_text;
        }
    }
    if (m_switch != m_loadedSwitch) {
        if (int* on = switchIn(group))
            *on = m_switch ? 1 : 0;
        m_loadedSwitch = m_switch;
    }
}

void ListPage::SetText(const std::string& utf8)
{
    std::string text;
    text.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n')
            continue;
        text += utf8[i];
    }
    if (text == m_text)
        return;
    m_text = std::move(text);
    MarkChanged();
}

void ListPage::SetSwitch(bool on)
{
    if (on == m_switch)
        return;
    m_switch = on;
    MarkChanged();
}

int ListPage::entryCount() const
{
    int n = 0;
    forEachLine(m_text, [&n](std::string_view line, int) {
        n += line.empty() ? 0 : 1;
        return true;
    });
    return n;
}
