// A settings page bound to zpf.cnf keys through the key table and the setting checks.
#include "core/pages/BoundPage.h"

#include <charconv>

#include "common/Encoding.h"
#include "config/ConfigKeys.h"
#include "config/ListChecks.h"
#include "config/SettingChecks.h"

namespace {

template <class T> bool parse(const std::string& text, T& out)
{
    out = 0;
    if (text.empty())
        return true; // an empty optional number is 0
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end;
}

} // namespace

BoundPage::BoundPage(SettingsDocument& document, std::string caption, bool perGroup, std::vector<PageRow> rows)
    : SettingsPage(document)
    , m_caption(std::move(caption))
    , m_perGroup(perGroup)
    , m_rows(std::move(rows))
    , m_values(m_rows.size())
{
}

void BoundPage::Load()
{
    if (!m_perGroup)
        loadFrom(0);
}

void BoundPage::Store()
{
    if (!m_perGroup)
        storeInto(0);
}

void BoundPage::LoadGroup(int group)
{
    if (m_perGroup)
        loadFrom(group);
}

void BoundPage::StoreGroup(int group)
{
    if (m_perGroup)
        storeInto(group);
}

std::string BoundPage::shownText(const char* key, const std::string& stored) const
{
    const ConfigKey* k = FindConfigKey(key);
    if (k && k->type == ConfigType::Text)
        return encoding::sjisToUtf8(stored);
    const PageRow* r = row(key);
    if (r && r->kind == PageRow::Check)
        return stored == "0" ? "0" : "1";
    return stored;
}

void BoundPage::loadFrom(int group)
{
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const ConfigKey* k = m_rows[i].key ? FindConfigKey(m_rows[i].key) : nullptr;
        if (!k)
            continue;
        m_values[i].loaded = shownText(m_rows[i].key, k->Format(document().config(), group));
        m_values[i].shown = m_values[i].loaded;
    }
}

void BoundPage::storeInto(int group)
{
    ConfigrationFileSigleton& cnf = document().config();
    for (size_t i = 0; i < m_rows.size(); ++i) {
        Value& v = m_values[i];
        const ConfigKey* k = m_rows[i].key ? FindConfigKey(m_rows[i].key) : nullptr;
        // An untouched value keeps its stored form exactly (a check stored as 2 stays 2).
        if (!k || v.shown == v.loaded)
            continue;
        switch (k->type) {
        case ConfigType::Int:
            if (int* m = k->Member<int>(cnf, group))
                (void)parse(v.shown, *m);
            break;
        case ConfigType::Unsigned:
            if (unsigned int* m = k->Member<unsigned int>(cnf, group))
                (void)parse(v.shown, *m);
            break;
        case ConfigType::Long:
            if (long* m = k->Member<long>(cnf, group))
                (void)parse(v.shown, *m);
            break;
        case ConfigType::Text:
            if (std::string* m = k->Member<std::string>(cnf, group))
                (void)listchecks::EntryFromUtf8(v.shown, *m);
            break;
        }
        v.loaded = v.shown;
    }
}

std::string BoundPage::Validate() const
{
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const PageRow& r = m_rows[i];
        const Value& v = m_values[i];
        if (!r.key || v.shown == v.loaded)
            continue;
        const std::string name = r.name ? r.name : r.label;
        std::string sjis;
        if (!listchecks::EntryFromUtf8(v.shown, sjis))
            return "「" + name + "」に使えない文字が含まれています。";
        if (std::string error = SettingError(r.key, sjis, name); !error.empty())
            return error;
    }
    return {};
}

const PageRow* BoundPage::row(std::string_view key) const
{
    for (const PageRow& r : m_rows) {
        if (r.key && key == r.key)
            return &r;
    }
    return nullptr;
}

BoundPage::Value* BoundPage::value(std::string_view key)
{
    return const_cast<Value*>(static_cast<const BoundPage*>(this)->value(key));
}

const BoundPage::Value* BoundPage::value(std::string_view key) const
{
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].key && key == m_rows[i].key)
            return &m_values[i];
    }
    return nullptr;
}

std::string BoundPage::text(std::string_view key) const
{
    const Value* v = value(key);
    return v ? v->shown : std::string();
}

void BoundPage::SetText(std::string_view key, const std::string& utf8)
{
    Value* v = value(key);
    if (!v || v->shown == utf8)
        return;
    v->shown = utf8;
    MarkChanged();
}

bool BoundPage::enabled(const PageRow&) const { return true; }
