// The process-wide filter database: which key file fills which table or matcher,
// in the fixed order of loading.
#include "filterdb/FilterDatabase.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <string_view>
#include <system_error>
#include <thread>

#include "config/ConfigrationFile.h"
#include "filterdb/PhraseChains.h"
#include "log/AccessLogger.h"

namespace {
constexpr uint16_t kListNumber = 1; // keys of the per-group lists
constexpr uint16_t kGlobalNumber = 999; // keys of the global lists

// The distinct strings read so far, named by their place in `kept`: open addressing
// with a hash kept beside each place, so growing moves no strings and allocates no
// nodes.
class SeenStrings {
public:
    explicit SeenStrings(const std::deque<std::string>& kept)
        : m_kept(kept)
    {
    }

    /// Whether s is one of the kept strings; if not, it is taken to be kept next,
    /// at the end of `kept`.
    bool Seen(std::string_view s)
    {
        if ((m_used + 1) * 4 > m_slots.size() * 3)
            grow();
        const uint64_t full = std::hash<std::string_view>{}(s);
        const auto hash = static_cast<uint32_t>(full ^ (full >> 32));
        const size_t mask = m_slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = m_slots[i];
            if (slot.place == 0) {
                slot = {hash, static_cast<uint32_t>(m_kept.size() + 1)};
                ++m_used;
                return false;
            }
            if (slot.hash == hash && m_kept[slot.place - 1] == s)
                return true;
        }
    }

private:
    struct Slot {
        uint32_t hash;
        uint32_t place; // 1 + index into kept; 0: empty
    };

    void grow()
    {
        std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(std::max<size_t>(256, old.size() * 2), Slot{0, 0});
        const size_t mask = m_slots.size() - 1;
        for (const Slot& s : old) {
            if (s.place == 0)
                continue;
            size_t i = s.hash & mask;
            while (m_slots[i].place != 0)
                i = (i + 1) & mask;
            m_slots[i] = s;
        }
    }

    const std::deque<std::string>& m_kept;
    std::vector<Slot> m_slots;
    size_t m_used = 0;
};
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

void FilterDatabase::collectKeys(const std::string& fileName, uint16_t number, bool enciphered, int group,
                                 const std::string& groupName, bool byKind, size_t fileBound,
                                 const CAtFilterKeyFileReader::ErrorSink& sink, FileKeys& keys)
{
    // The strings stay where the deque put them, so the sets can look at them.
    std::deque<std::string> kept[4];
    SeenStrings seen[4] = {SeenStrings(kept[0]), SeenStrings(kept[1]), SeenStrings(kept[2]), SeenStrings(kept[3])};
    size_t bytes = 0;
    CAtFilterKeyFileReader reader(fileName, enciphered, sink);
    reader.forEachKey(group, groupName, [&](FilterKey&& key) {
        if (keys.overFile)
            return; // nothing more is kept from this file; the lines are still read through
        const size_t kind = byKind ? static_cast<size_t>(key.kind) : 0;
        for (auto& s : key.strings) {
            if (seen[kind].Seen(s))
                continue;
            bytes += s.size();
            keys.steps.push_back(static_cast<uint32_t>(s.size()));
            if (bytes > fileBound) {
                keys.overFile = true;
                return;
            }
            kept[kind].push_back(std::move(s));
        }
    });
    if (keys.overFile)
        return;
    for (size_t k = 0; k < 4; ++k) {
        keys.lists[k].reserve(kept[k].size());
        for (auto& s : kept[k])
            keys.lists[k].push_back(KeyEntryItem{std::move(s), number});
    }
}

bool FilterDatabase::admitKeys(const std::string& fileName, int group, FileKeys& keys,
                               const CAtFilterKeyFileReader::ErrorSink& sink)
{
    // Each string counted against both bounds in reading order, the file's first.
    size_t bytes = 0;
    std::string over;
    for (const uint32_t step : keys.steps) {
        bytes += step;
        if (bytes > m_maxFileKeyBytes) {
            over = "its keys expand to more than " + std::to_string(m_maxFileKeyBytes) + " bytes";
            break;
        }
        if (m_keyBytes + bytes > m_maxDatabaseKeyBytes) {
            over = "the database's keys would exceed " + std::to_string(m_maxDatabaseKeyBytes) + " bytes";
            break;
        }
    }
    if (over.empty()) {
        m_keyBytes += bytes;
        return true;
    }
    for (auto& list : keys.lists)
        list = KeyEntryList();
    if (sink)
        sink(fileName + "[" + std::to_string(group) + "] Skipped - " + over);
    return false;
}

bool FilterDatabase::readKeys(const std::string& fileName, uint16_t number, bool enciphered, int group, bool byKind,
                              KeyEntryList (&out)[4])
{
    FileKeys keys;
    collectKeys(fileName, number, enciphered, group, groupName(group), byKind, m_maxFileKeyBytes, m_errorSink, keys);
    if (!admitKeys(fileName, group, keys, m_errorSink))
        return false;
    for (size_t k = 0; k < 4; ++k) {
        if (out[k].empty()) {
            out[k] = std::move(keys.lists[k]);
            continue;
        }
        out[k].reserve(out[k].size() + keys.lists[k].size());
        for (auto& item : keys.lists[k])
            out[k].push_back(std::move(item));
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

std::unique_ptr<ContentMatcher> FilterDatabase::makeMatcher(const KeyEntryList& list, bool caseInsensitive)
{
    auto matcher = std::make_unique<ContentMatcher>(caseInsensitive);
    for (const auto& item : list)
        matcher->AddKey(item.text, item.number);
    matcher->Build();
    return matcher;
}

void FilterDatabase::buildMatcher(MatcherKind kind, size_t index, const KeyEntryList& list, bool caseInsensitive)
{
    m_matchers[static_cast<int>(kind)][index] = makeMatcher(list, caseInsensitive);
}

void FilterDatabase::distributePlainKeys(const KeyEntryList& plain, KeyTable& urls, KeyTable& extensions)
{
    for (const auto& item : plain) {
        if (item.text.size() >= 2 && item.text[0] == '*' && item.text[1] == '.')
            extensions.Insert(std::string_view(item.text).substr(2), item.number);
        else
            urls.Insert(item.text, item.number);
    }
    urls.Seal();
    extensions.Seal();
}

struct FilterDatabase::CategoryLoad {
    std::string file;
    uint16_t number = 0;
    FileKeys keys; // the lists are emptied once the matchers and tables are built
    std::unique_ptr<ContentMatcher> matchers[3]; // braces, brackets, parentheses
    KeyTable urls;
    KeyTable extensions;
    std::vector<std::string> errors; // reported in file order once every file is read
};

// The category files are independent of each other, so they are read and built on
// two threads; what depends on order (the database's bound, the log lines) is
// settled afterwards in the order of the list.
void FilterDatabase::loadCategories(bool caseInsensitive)
{
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    const auto& categories = cnf->categoryList;
    const size_t categoryCount = static_cast<size_t>(categories.GetCategoryNum());

    using enum MatcherKind;
    using enum TableKind;
    for (MatcherKind kind : {CategoryPageBlock, CategoryReplace, CategoryUploadBlock})
        m_matchers[static_cast<int>(kind)].resize(categoryCount);
    tables(CategoryUrls).resize(categoryCount);
    tables(CategoryExtensions).resize(categoryCount);

    std::vector<CategoryLoad> loads(categoryCount);
    std::vector<size_t> used;
    for (size_t c = 0; c < categoryCount; ++c) {
        if (!cnf->GetCategoryUse(static_cast<int>(c)))
            continue; // a category no group uses keeps empty containers
        const CCategory& category = categories[static_cast<int>(c)];
        loads[c].file = category.key;
        loads[c].number = category.number;
        used.push_back(c);
    }

    const size_t fileBound = m_maxFileKeyBytes;
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1)) < used.size();) {
            CategoryLoad& load = loads[used[i]];
            collectKeys(
                load.file, load.number, true, -1, std::string(), true, fileBound,
                [&load](const std::string& e) { load.errors.push_back(e); }, load.keys);
            for (size_t k = 0; k < 3; ++k) // braces, brackets, parentheses
                load.matchers[k] = makeMatcher(load.keys.lists[k], caseInsensitive);
            distributePlainKeys(load.keys.lists[FilterKey::Plain], load.urls, load.extensions);
            for (auto& list : load.keys.lists)
                list = KeyEntryList();
        }
    };
    std::thread helper;
    if (used.size() > 1 && std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::thread(work);
        } catch (const std::system_error&) {
            // No second thread: this one reads every file.
        }
    }
    work();
    if (helper.joinable())
        helper.join();

    const MatcherKind kinds[3] = {CategoryPageBlock, CategoryReplace, CategoryUploadBlock};
    for (const size_t c : used) {
        CategoryLoad& load = loads[c];
        if (m_errorSink)
            for (const auto& e : load.errors)
                m_errorSink(e);
        if (!admitKeys(load.file, -1, load.keys, m_errorSink)) {
            // Skipped: the category is loaded as if its file held nothing.
            for (auto& m : load.matchers)
                m = makeMatcher({}, caseInsensitive);
            load.urls = KeyTable();
            load.extensions = KeyTable();
            load.urls.Seal();
            load.extensions.Seal();
        }
        for (size_t k = 0; k < 3; ++k)
            m_matchers[static_cast<int>(kinds[k])][c] = std::move(load.matchers[k]);
        tables(CategoryUrls)[c] = std::move(load.urls);
        tables(CategoryExtensions)[c] = std::move(load.extensions);
    }
}

void FilterDatabase::Load(bool caseInsensitive)
{
    Clear();
    loadCategories(caseInsensitive);
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();

    using enum MatcherKind;
    using enum TableKind;
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
        distributePlainKeys(m_lists[FilterKey::Plain], tables(GroupUrls)[g], tables(GroupExtensions)[g]);
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
