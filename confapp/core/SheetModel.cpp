#include "core/SheetModel.h"

#include <algorithm>

namespace {

const std::vector<SheetTabInfo> kTabs = {
    {SheetTab::Group, "フィルタ種類", false, true},     {SheetTab::Option, "ブロック情報", true, false},
    {SheetTab::BlkPhrase, "追加フィルタ", true, false}, {SheetTab::NoFilter, "ﾌｨﾙﾀﾘﾝｸﾞ対象外", true, false},
    {SheetTab::PassUrl, "アクセス制限", true, false},   {SheetTab::Time, "時間帯指定", true, false},
    {SheetTab::Server, "Ｐｒｏｘｙ情報", false, false}, {SheetTab::IPRestriction, "IP制限", false, true},
    {SheetTab::IPException, "IPポリシー", false, true}, {SheetTab::AuthAccount, "認証アカウント", false, true},
    {SheetTab::Keep, "キーパー", false, false},         {SheetTab::Version, "バージョン情報", false, false},
};

} // namespace

const std::vector<SheetTabInfo>& AllSheetTabs() { return kTabs; }

std::vector<SheetTabInfo> EditionTabs(bool standalone)
{
    std::vector<SheetTabInfo> out;
    std::copy_if(kTabs.begin(), kTabs.end(), std::back_inserter(out),
                 [standalone](const SheetTabInfo& t) { return !(standalone && t.networkOnly); });
    return out;
}

SheetModel::SheetModel(SettingsDocument& document, bool standalone, PageFactory makePage)
    : m_document(document)
    , m_standalone(standalone)
{
    for (const SheetTabInfo& info : EditionTabs(standalone)) {
        std::unique_ptr<SettingsPage> page = makePage ? makePage(info.tab, document) : nullptr;
        if (!page)
            page = std::make_unique<PlaceholderPage>(document, info.caption, info.perGroup);
        m_tabs.push_back(info.tab);
        m_pages.push_back(std::move(page));
    }
}

std::vector<SheetModel::GroupEntry> SheetModel::GroupEntries() const
{
    std::vector<GroupEntry> out;
    const GroupList& groups = m_document.config().groupList;
    out.push_back({0, m_document.GroupName(0)});
    for (int g = 1; g < groups.GetGroupNum(); ++g) {
        if (!groups[g].deleted)
            out.push_back({g, m_document.GroupName(g)});
    }
    return out;
}

void SheetModel::Open(int group)
{
    const std::vector<GroupEntry> entries = GroupEntries();
    const bool present =
        std::any_of(entries.begin(), entries.end(), [group](const GroupEntry& e) { return e.group == group; });
    // The standalone edition edits group 0 only.
    m_group = (present && !m_standalone) ? group : 0;
    m_modified = false;
    for (auto& page : m_pages) {
        page->ClearModified();
        page->Load();
        if (page->perGroup())
            page->LoadGroup(m_group);
    }
}

bool SheetModel::OpenTab(std::size_t index)
{
    if (index >= m_pages.size())
        return false;
    m_pages[index]->MarkOpened();
    return !m_standalone && m_pages[index]->perGroup();
}

std::string SheetModel::SelectGroup(int group)
{
    for (auto& page : m_pages) {
        if (!page->perGroup() || !page->opened())
            continue;
        std::string refusal = page->Validate();
        if (!refusal.empty())
            return refusal;
    }
    for (auto& page : m_pages) {
        if (page->perGroup() && page->opened())
            page->StoreGroup(m_group);
    }
    m_group = group;
    for (auto& page : m_pages) {
        if (page->perGroup())
            page->LoadGroup(m_group);
    }
    return {};
}

std::string SheetModel::Close()
{
    const bool any = std::any_of(m_pages.begin(), m_pages.end(), [](const auto& p) { return p->modified(); });
    if (!any)
        return {};
    for (auto& page : m_pages) {
        if (!page->opened())
            continue;
        std::string refusal = page->Validate();
        if (!refusal.empty())
            return refusal;
    }
    m_modified = true;
    for (auto& page : m_pages) {
        if (!page->opened())
            continue;
        page->Store();
        if (page->perGroup())
            page->StoreGroup(m_group);
    }
    return {};
}
