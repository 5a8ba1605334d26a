#include "core/pages/IPPages.h"

#include <algorithm>

#include "config/SettingChecks.h"
#include "core/pages/AuthAccountPage.h"
#include "core/pages/GroupChoices.h"

namespace {

constexpr const char* kNotAnAddress = "アドレスは a.b.c.d の形で入力してください。";

// The entry as the lists store it: the typed text, read strictly and written plainly.
std::string normalised(const std::string& text)
{
    IPrange range;
    return IPrange::ReadStrict(text, range) ? IPEntryText(range) : text;
}

} // namespace

std::string IPEntryText(const IPrange& range)
{
    return range.from == range.to ? range.from.IPstring() : range.from.IPstring() + " - " + range.to.IPstring();
}

// ---- IPRestrictionPage ----

std::string IPRestrictionPage::caption() const { return "IP制限"; }

void IPRestrictionPage::Load()
{
    m_entries.clear();
    for (const IPrange& range : document().config().ipList.ranges())
        m_entries.push_back(IPEntryText(range));
    sort();
    m_selected = -1;
    addressField.clear();
}

void IPRestrictionPage::Store()
{
    IPlist& list = document().config().ipList;
    list.clear();
    for (const std::string& entry : m_entries)
        list.SetDataFromLine(entry.c_str());
    // Any entry restricts, as a read of the file would.
    list.active = !m_entries.empty();
}

void IPRestrictionPage::sort() { std::stable_sort(m_entries.begin(), m_entries.end()); }

void IPRestrictionPage::Select(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= m_entries.size()) {
        m_selected = -1;
        return;
    }
    m_selected = row;
    addressField = m_entries[static_cast<size_t>(row)];
}

std::string IPRestrictionPage::Add()
{
    if (std::string error = IPEntryError(addressField); !error.empty())
        return error;
    m_entries.push_back(normalised(addressField));
    sort();
    m_selected = -1;
    addressField.clear();
    MarkChanged();
    return {};
}

std::string IPRestrictionPage::Modify()
{
    if (m_selected < 0)
        return {};
    if (std::string error = IPEntryError(addressField); !error.empty())
        return error;
    m_entries[static_cast<size_t>(m_selected)] = normalised(addressField);
    sort();
    m_selected = -1;
    addressField.clear();
    MarkChanged();
    return {};
}

void IPRestrictionPage::Delete()
{
    if (m_selected < 0)
        return;
    m_entries.erase(m_entries.begin() + m_selected);
    m_selected = -1;
    addressField.clear();
    MarkChanged();
}

std::string IPRestrictionPage::Explain(const std::string& address) const
{
    IP ip;
    if (!IP::ReadStrict(address, ip))
        return kNotAnAddress;
    IPlist list;
    for (const std::string& entry : m_entries)
        list.SetDataFromLine(entry.c_str());
    list.active = !m_entries.empty();
    if (!list.active)
        return ip.IPstring() + "：制限なし（一覧が空のため、すべてのアドレスが使えます）";
    if (const IPrange* range = list.FindRange(ip))
        return ip.IPstring() + "：許可（" + IPEntryText(*range) + "）";
    return ip.IPstring() + "：拒否（どの項目にも含まれません）";
}

// ---- IPExceptionPage ----

std::string IPExceptionPage::caption() const { return "IPポリシー"; }

void IPExceptionPage::Load()
{
    m_rows.clear();
    for (const IPData& data : document().config().ipDataList.entries())
        m_rows.push_back({IPEntryText(data.range), !data.filterClient, data.group, std::clamp(data.authMode, 0, 2)});
    m_selected = -1;
    resetFields();
}

std::string IPExceptionPage::line(const Row& row) const
{
    if (row.exempt)
        return row.entry;
    return row.entry + ";" + groupchoices::StoredName(document(), row.group) + ";" + std::to_string(row.mode);
}

void IPExceptionPage::Store()
{
    ConfigrationFileSigleton& cnf = document().config();
    IPDatalist& list = cnf.ipDataList;
    list.clear();
    for (const Row& row : m_rows)
        list.SetDataFromLine(line(row).c_str());
}

std::vector<std::string> IPExceptionPage::RowTexts(int row) const
{
    const Row& r = m_rows.at(static_cast<size_t>(row));
    return {r.entry, r.exempt ? "はい" : "いいえ", groupchoices::Label(document(), r.group),
            AuthAccountPage::ModeNames()[static_cast<size_t>(r.mode)]};
}

void IPExceptionPage::Select(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size()) {
        m_selected = -1;
        return;
    }
    m_selected = row;
    const Row& r = m_rows[static_cast<size_t>(row)];
    addressField = r.entry;
    exemptField = r.exempt;
    groupField = groupchoices::FallsBackToDefault(document(), r.group) ? 0 : r.group;
    modeField = r.mode;
}

void IPExceptionPage::resetFields()
{
    addressField.clear();
    exemptField = false;
    groupField = 0;
    modeField = 0;
}

std::string IPExceptionPage::Add()
{
    if (std::string error = IPEntryError(addressField); !error.empty())
        return error;
    m_rows.push_back({normalised(addressField), exemptField, groupField, std::clamp(modeField, 0, 2)});
    m_selected = -1;
    resetFields();
    MarkChanged();
    return {};
}

std::string IPExceptionPage::Modify()
{
    if (m_selected < 0)
        return {};
    if (std::string error = IPEntryError(addressField); !error.empty())
        return error;
    m_rows[static_cast<size_t>(m_selected)] = {normalised(addressField), exemptField, groupField,
                                               std::clamp(modeField, 0, 2)};
    MarkChanged();
    return {};
}

void IPExceptionPage::Delete()
{
    if (m_selected < 0)
        return;
    m_rows.erase(m_rows.begin() + m_selected);
    m_selected = -1;
    resetFields();
    MarkChanged();
}

std::string IPExceptionPage::Explain(const std::string& address) const
{
    IP ip;
    if (!IP::ReadStrict(address, ip))
        return kNotAnAddress;
    const ConfigrationFileSigleton& cnf = document().config();
    IPDatalist list(&cnf.groupList);
    for (const Row& row : m_rows)
        list.SetDataFromLine(line(row).c_str());
    // The file is read back in address order: answer as the proxy will.
    list.SortByFirstAddress();
    const IPData* data = list.Find(ip);
    if (!data)
        return ip.IPstring() + "：該当する項目はありません";
    const std::string entry = IPEntryText(data->range);
    if (!data->filterClient)
        return ip.IPstring() + "：" + entry + " により対象外";
    return ip.IPstring() + "：" + entry + " により グループ " + groupchoices::Label(document(), data->group) + "、" +
           AuthAccountPage::ModeNames()[static_cast<size_t>(std::clamp(data->authMode, 0, 2))];
}
