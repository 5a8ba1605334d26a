// The process-wide filter database: which key file fills which table or matcher,
// in the fixed order of loading.
#include "filterdb/FilterDatabase.h"

#include <deque>
#include <string_view>
#include <unordered_set>

#include "config/ConfigrationFile.h"
#include "filterdb/PhraseChains.h"
#include "log/AccessLogger.h"

namespace {
constexpr uint16_t kListNumber = 1; // keys of the per-group lists
constexpr uint16_t kGlobalNumber = 999; // keys of the global lists
} // namespace

FilterDatabase& FilterDatabase::getInstance()
{
    static FilterDatabase database;
    return database;
}

FilterDatabase::FilterDatabase()
    : m_errorSink([](const std::string& text) { AccessLogger::getInstance().Write(text, true, true); })
{
}

void FilterDatabase::Clear()
{
    for (auto& v : m_tables)
        v.clear();
    for (auto& v : m_matchers)
        v.clear();
    ClearKeyLists();
    m_keyBytes = 0;
    const std::lock_guard lock(m_prefilterLock);
    m_prefilters.clear();
    m_prefilterBytes = 0;
}

std::shared_ptr<const ChainPrefilter>
FilterDatabase::GetPrefilter(const std::vector<const ContentMatcher*>& matchers) const
{
    const std::lock_guard lock(m_prefilterLock);
    const auto it = m_prefilters.find(matchers);
    if (it != m_prefilters.end())
        return it->second;
    if (m_prefilters.size() >= kMaxPrefilters)
        return nullptr;
    // A prefilter takes about as much memory as its matchers together.
    size_t estimate = 0;
    for (const ContentMatcher* m : matchers)
        estimate += m ? m->MemoryBytes() : 0;
    std::shared_ptr<const ChainPrefilter> out;
    if (m_prefilterBytes + estimate <= kMaxPrefilterBytes) {
        // Made under the lock: the first sessions of a group wait for it once rather
        // than each making their own.
        auto made = std::make_shared<const ChainPrefilter>(matchers);
        if (made->Usable()) {
            out = std::move(made);
            m_prefilterBytes += out->MemoryBytes();
        }
    }
    m_prefilters.emplace(matchers, out);
    return out;
}

const KeyTable* FilterDatabase::GetKeyTable(TableKind kind, int index) const
{
    const int k = static_cast<int>(kind);
    if (k < static_cast<int>(TableKind::CategoryUrls) || k >= kTableKinds)
        return nullptr;
    const auto& tables = m_tables[k];
    if (kind == TableKind::AccessControl || kind == TableKind::UploadExempt || kind == TableKind::DownloadExempt)
        index = 0;
    if (index < 0 || static_cast<size_t>(index) >= tables.size())
        return nullptr;
    return &tables[static_cast<size_t>(index)];
}

const ContentMatcher* FilterDatabase::GetContentMatcher(MatcherKind kind, int index) const
{
    const int k = static_cast<int>(kind);
    if (k < 0 || k >= kMatcherKinds)
        return nullptr;
    const auto& matchers = m_matchers[k];
    if (index < 0 || static_cast<size_t>(index) >= matchers.size())
        return nullptr;
    return matchers[static_cast<size_t>(index)].get();
}

std::string FilterDatabase::groupName(int group) const
{
    if (group <= 0)
        return {};
    const auto& groups = ConfigrationFileSigleton::getInstance()->groupList;
    return group < groups.size() ? groups.GetGroupName(group) : std::string();
}

void FilterDatabase::ClearKeyLists()
{
    for (auto& list : m_lists) {
        list.clear();
        list.shrink_to_fit();
    }
}

bool FilterDatabase::readKeys(const std::string& fileName, uint16_t number, bool enciphered, int group, bool byKind,
                              KeyEntryList (&out)[4])
{
    // The strings stay where the deque put them, so the sets can look at them.
    std::deque<std::string> kept[4];
    std::unordered_set<std::string_view> seen[4];
    size_t bytes = 0;
    std::string over;
    CAtFilterKeyFileReader reader(fileName, enciphered, m_errorSink);
    reader.forEachKey(group, groupName(group), [&](FilterKey&& key) {
        const size_t kind = byKind ? static_cast<size_t>(key.kind) : 0;
        for (auto& s : key.strings) {
            if (!over.empty() || seen[kind].contains(s))
                continue;
            bytes += s.size();
            if (bytes > m_maxFileKeyBytes)
                over = "its keys expand to more than " + std::to_string(m_maxFileKeyBytes) + " bytes";
            else if (m_keyBytes + bytes > m_maxDatabaseKeyBytes)
                over = "the database's keys would exceed " + std::to_string(m_maxDatabaseKeyBytes) + " bytes";
            if (!over.empty()) {
                // Nothing more is kept from this file; the lines are still read through.
                for (size_t k = 0; k < 4; ++k) {
                    seen[k] = {};
                    kept[k] = {};
                }
                return;
            }
            seen[kind].insert(kept[kind].emplace_back(std::move(s)));
        }
    });
    if (!over.empty()) {
        if (m_errorSink)
            m_errorSink(fileName + "[" + std::to_string(group) + "] Skipped - " + over);
        return false;
    }
    m_keyBytes += bytes;
    for (size_t k = 0; k < 4; ++k) {
        seen[k] = {};
        out[k].reserve(out[k].size() + kept[k].size());
        for (auto& s : kept[k])
            out[k].push_back(KeyEntryItem{std::move(s), number});
    }
    return true;
}

void FilterDatabase::LoadKeyFile(const std::string& fileName, uint16_t number, bool enciphered, int group)
{
    (void)readKeys(fileName, number, enciphered, group, true, m_lists);
}

KeyEntryList FilterDatabase::LoadKeyList(const std::string& fileName, uint16_t number, bool enciphered, int group)
{
    KeyEntryList out[4];
    (void)readKeys(fileName, number, enciphered, group, false, out);
    return std::move(out[0]);
}

void FilterDatabase::buildMatcher(MatcherKind kind, size_t index, const KeyEntryList& list, bool caseInsensitive)
{
    auto matcher = std::make_unique<ContentMatcher>(caseInsensitive);
    for (const auto& item : list)
        matcher->AddKey(item.text, item.number);
    matcher->Build();
    m_matchers[static_cast<int>(kind)][index] = std::move(matcher);
}

void FilterDatabase::distributePlainKeys(KeyTable& urls, KeyTable& extensions)
{
    for (const auto& item : m_lists[FilterKey::Plain]) {
        if (item.text.size() >= 2 && item.text[0] == '*' && item.text[1] == '.')
            extensions.Insert(std::string_view(item.text).substr(2), item.number);
        else
            urls.Insert(item.text, item.number);
    }
    urls.Seal();
    extensions.Seal();
}

void FilterDatabase::Load(bool caseInsensitive)
{
    Clear();
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    const auto& categories = cnf->categoryList;
    const size_t categoryCount = static_cast<size_t>(categories.GetCategoryNum());

    using enum MatcherKind;
    using enum TableKind;
    for (MatcherKind kind : {CategoryPageBlock, CategoryReplace, CategoryUploadBlock})
        m_matchers[static_cast<int>(kind)].resize(categoryCount);
    tables(CategoryUrls).resize(categoryCount);
    tables(CategoryExtensions).resize(categoryCount);
    for (size_t c = 0; c < categoryCount; ++c) {
        if (!cnf->GetCategoryUse(static_cast<int>(c)))
            continue; // a category no group uses keeps empty containers
        const CCategory& category = categories[static_cast<int>(c)];
        LoadKeyFile(category.key, category.number, true, -1);
        buildMatcher(CategoryPageBlock, c, m_lists[FilterKey::Braces], caseInsensitive);
        buildMatcher(CategoryReplace, c, m_lists[FilterKey::Brackets], caseInsensitive);
        buildMatcher(CategoryUploadBlock, c, m_lists[FilterKey::Parentheses], caseInsensitive);
        distributePlainKeys(tables(CategoryUrls)[c], tables(CategoryExtensions)[c]);
        ClearKeyLists();
    }

    const std::pair<TableKind, const char*> globals[] = {
        {AccessControl, "target.fdb"}, {UploadExempt, "nofilup.fdb"}, {DownloadExempt, "nofildow.fdb"}};
    for (const auto& [kind, file] : globals) {
        KeyTable& table = tables(kind).emplace_back();
        for (const auto& item : LoadKeyList(file, kGlobalNumber, true, -1))
            table.Insert(item.text, item.number);
        table.Seal();
    }

    const size_t groupCount = static_cast<size_t>(cnf->groupList.size());
    for (MatcherKind kind : {GroupPageBlock, GroupReplace, GroupUploadBlock})
        m_matchers[static_cast<int>(kind)].resize(groupCount);
    for (TableKind kind : {GroupUrls, GroupExtensions, GroupAccessControl, GroupUploadExempt, GroupDownloadExempt})
        tables(kind).resize(groupCount);
    for (size_t g = 0; g < groupCount; ++g) {
        const int group = static_cast<int>(g);
        LoadKeyFile("phrase.fdb", kListNumber, false, group);
        buildMatcher(GroupPageBlock, g, m_lists[FilterKey::Braces], caseInsensitive);
        buildMatcher(GroupReplace, g, m_lists[FilterKey::Brackets], caseInsensitive);
        buildMatcher(GroupUploadBlock, g, m_lists[FilterKey::Parentheses], caseInsensitive);
        distributePlainKeys(tables(GroupUrls)[g], tables(GroupExtensions)[g]);
        ClearKeyLists();
        const std::pair<TableKind, const char*> lists[] = {{GroupAccessControl, "passurl.fdb"},
                                                           {GroupUploadExempt, "nofilter.fdb"},
                                                           {GroupDownloadExempt, "nofilter.fdb"}};
        for (const auto& [kind, file] : lists) {
            KeyTable& table = tables(kind)[g];
            for (const auto& item : LoadKeyList(file, kListNumber, false, group))
                table.Insert(item.text, item.number);
            table.Seal();
        }
    }
}

void LoadFilterDatabase()
{
    FilterDatabase& db = FilterDatabase::getInstance();
    db.Load(true);
    PreparePrefilters(db, *ConfigrationFileSigleton::getInstance());
}
