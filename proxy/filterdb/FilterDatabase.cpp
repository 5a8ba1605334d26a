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

// Strings packed end to end in one buffer, so a million keys cost no allocation each.
class PackedStrings {
public:
    size_t size() const { return m_ends.size(); }
    std::string_view operator[](size_t i) const
    {
        const size_t begin = i == 0 ? 0 : m_ends[i - 1];
        return std::string_view(m_bytes).substr(begin, m_ends[i] - begin);
    }
    void push_back(std::string_view s)
    {
        m_bytes.append(s);
        m_ends.push_back(m_bytes.size());
    }
    void clear()
    {
        m_bytes.clear();
        m_ends.clear();
    }

private:
    std::string m_bytes;
    std::vector<size_t> m_ends;
};

// The distinct strings read so far, named by their place in a PackedStrings: open
// addressing with a hash kept beside each place, so growing moves no strings and
// allocates no nodes.
class SeenStrings {
public:
    /// Whether s is one of the kept strings; if not, it is taken to be kept next,
    /// at the end of `kept`.
    bool Seen(std::string_view s, uint32_t hash, const PackedStrings& kept)
    {
        if ((m_used + 1) * 4 > m_slots.size() * 3)
            grow();
        const size_t mask = m_slots.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = m_slots[i];
            if (slot.place == 0) {
                slot = {hash, static_cast<uint32_t>(kept.size() + 1)};
                ++m_used;
                return false;
            }
            if (slot.hash == hash && kept[slot.place - 1] == s)
                return true;
        }
    }

    static uint32_t Hash(std::string_view s)
    {
        const uint64_t full = std::hash<std::string_view>{}(s);
        return static_cast<uint32_t>(full ^ (full >> 32));
    }

    /// Asks for the memory a later Seen of a string with this hash starts at.
    void Prefetch(uint32_t hash) const
    {
        if (!m_slots.empty())
            __builtin_prefetch(&m_slots[hash & (m_slots.size() - 1)]);
    }

    /// Forgets every string, keeping the memory.
    void clear()
    {
        std::fill(m_slots.begin(), m_slots.end(), Slot{0, 0});
        m_used = 0;
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

    std::vector<Slot> m_slots;
    size_t m_used = 0;
};

KeyEntryList entries(const PackedStrings& list, uint16_t number)
{
    KeyEntryList out;
    out.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i)
        out.push_back(KeyEntryItem{std::string(list[i]), number});
    return out;
}
} // namespace

// `steps` keeps each string's length in reading order, so the database's bound can be
// judged later exactly as if it had been checked while reading.
struct FilterDatabase::FileKeys {
    PackedStrings lists[4];
    SeenStrings seen[4];
    std::vector<uint32_t> steps;
    bool overFile = false; // stopped at the file's own bound; the lists are emptied
    // Strings not yet checked, in reading order: hashing them as they come asks for
    // their places in the duplicate check early, so checking them seldom waits.
    struct Pending {
        uint32_t end; // in pendingBytes
        uint32_t hash;
        size_t list;
    };
    std::vector<Pending> pending;
    std::string pendingBytes;
    std::vector<std::string_view> urls;
    std::vector<std::string_view> extensions;
    KeyTable::BuildScratch scratch;

    void clear()
    {
        for (size_t k = 0; k < 4; ++k) {
            lists[k].clear();
            seen[k].clear();
        }
        steps.clear();
        overFile = false;
        pending.clear();
        pendingBytes.clear();
    }
};

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

void FilterDatabase::collectKeys(const std::string& fileName, bool enciphered, int group, const std::string& groupName,
                                 bool byKind, size_t fileBound, const CAtFilterKeyFileReader::ErrorSink& sink,
                                 FileKeys& keys)
{
    keys.clear();
    size_t bytes = 0;
    auto check = [&] {
        size_t begin = 0;
        for (const FileKeys::Pending& p : keys.pending) {
            const std::string_view s = std::string_view(keys.pendingBytes).substr(begin, p.end - begin);
            begin = p.end;
            if (keys.overFile || keys.seen[p.list].Seen(s, p.hash, keys.lists[p.list]))
                continue;
            bytes += s.size();
            keys.steps.push_back(static_cast<uint32_t>(s.size()));
            if (bytes > fileBound)
                keys.overFile = true;
            else
                keys.lists[p.list].push_back(s);
        }
        keys.pending.clear();
        keys.pendingBytes.clear();
    };
    CAtFilterKeyFileReader reader(fileName, enciphered, sink);
    reader.forEachString(group, groupName, [&](int kind, std::string_view s) {
        if (keys.overFile)
            return; // nothing more is kept from this file; the lines are still read through
        const size_t k = byKind ? static_cast<size_t>(kind) : 0;
        const uint32_t hash = SeenStrings::Hash(s);
        keys.seen[k].Prefetch(hash);
        keys.pendingBytes.append(s);
        keys.pending.push_back({static_cast<uint32_t>(keys.pendingBytes.size()), hash, k});
        if (keys.pending.size() == 32)
            check();
    });
    check();
    if (keys.overFile)
        for (auto& list : keys.lists)
            list.clear();
}

bool FilterDatabase::admitKeys(const std::string& fileName, int group, const std::vector<uint32_t>& steps,
                               const CAtFilterKeyFileReader::ErrorSink& sink)
{
    // Each string counted against both bounds in reading order, the file's first.
    size_t bytes = 0;
    std::string over;
    for (const uint32_t step : steps) {
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
    if (sink)
        sink(fileName + "[" + std::to_string(group) + "] Skipped - " + over);
    return false;
}

bool FilterDatabase::readFileKeys(const std::string& fileName, bool enciphered, int group, bool byKind, FileKeys& keys)
{
    collectKeys(fileName, enciphered, group, groupName(group), byKind, m_maxFileKeyBytes, m_errorSink, keys);
    if (admitKeys(fileName, group, keys.steps, m_errorSink))
        return true;
    for (auto& list : keys.lists)
        list.clear();
    return false;
}

bool FilterDatabase::readKeys(const std::string& fileName, uint16_t number, bool enciphered, int group, bool byKind,
                              KeyEntryList (&out)[4])
{
    FileKeys keys;
    if (!readFileKeys(fileName, enciphered, group, byKind, keys))
        return false;
    for (size_t k = 0; k < 4; ++k) {
        out[k].reserve(out[k].size() + keys.lists[k].size());
        for (size_t i = 0; i < keys.lists[k].size(); ++i)
            out[k].push_back(KeyEntryItem{std::string(keys.lists[k][i]), number});
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

void FilterDatabase::distributePlainKeys(FileKeys& keys, uint16_t number, KeyTable& urls, KeyTable& extensions)
{
    const PackedStrings& plain = keys.lists[FilterKey::Plain];
    keys.urls.clear();
    keys.extensions.clear();
    keys.urls.reserve(plain.size());
    for (size_t i = 0; i < plain.size(); ++i) {
        const std::string_view text = plain[i];
        if (text.size() >= 2 && text[0] == '*' && text[1] == '.')
            keys.extensions.push_back(text.substr(2));
        else
            keys.urls.push_back(text);
    }
    urls.Build(keys.urls, number, keys.scratch);
    extensions.Build(keys.extensions, number, keys.scratch);
}

struct FilterDatabase::FileLoad {
    std::string file;
    bool enciphered = true;
    int group = -1;
    std::string groupName;
    bool byKind = true; // false: every string is a key of `urls`
    uint16_t number = 0;
    // Where the results go: the matchers and the extension table only by kind.
    size_t index = 0;
    MatcherKind matcherKinds[3] = {};
    TableKind urlKind = TableKind::CategoryUrls;
    TableKind extensionKind = TableKind::CategoryExtensions;

    std::vector<uint32_t> steps; // of the file's strings, for the database's bound
    std::unique_ptr<ContentMatcher> matchers[3]; // braces, brackets, parentheses
    KeyTable urls;
    KeyTable extensions;
    std::vector<std::string> errors; // reported in list order once every file is read
};

// The key files are independent of each other, so they are read and built on two
// threads; what depends on order (the database's bound, the log lines) is settled
// afterwards in the order of loading: categories, the global lists, then each
// group's files.
void FilterDatabase::Load(bool caseInsensitive)
{
    Clear();
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    const auto& categories = cnf->categoryList;
    const size_t categoryCount = static_cast<size_t>(categories.GetCategoryNum());
    const size_t groupCount = static_cast<size_t>(cnf->groupList.size());

    using enum MatcherKind;
    using enum TableKind;
    for (MatcherKind kind : {CategoryPageBlock, CategoryReplace, CategoryUploadBlock})
        m_matchers[static_cast<int>(kind)].resize(categoryCount);
    tables(CategoryUrls).resize(categoryCount);
    tables(CategoryExtensions).resize(categoryCount);
    for (TableKind kind : {AccessControl, UploadExempt, DownloadExempt})
        tables(kind).resize(1);
    for (MatcherKind kind : {GroupPageBlock, GroupReplace, GroupUploadBlock})
        m_matchers[static_cast<int>(kind)].resize(groupCount);
    for (TableKind kind : {GroupUrls, GroupExtensions, GroupAccessControl, GroupUploadExempt, GroupDownloadExempt})
        tables(kind).resize(groupCount);

    std::deque<FileLoad> loads;
    for (size_t c = 0; c < categoryCount; ++c) {
        if (!cnf->GetCategoryUse(static_cast<int>(c)))
            continue; // a category no group uses keeps empty containers
        const CCategory& category = categories[static_cast<int>(c)];
        FileLoad& load = loads.emplace_back();
        load.file = category.key;
        load.number = category.number;
        load.index = c;
        load.matcherKinds[0] = CategoryPageBlock;
        load.matcherKinds[1] = CategoryReplace;
        load.matcherKinds[2] = CategoryUploadBlock;
    }
    for (const auto& [kind, file] : {std::pair{AccessControl, "target.fdb"}, std::pair{UploadExempt, "nofilup.fdb"},
                                     std::pair{DownloadExempt, "nofildow.fdb"}}) {
        FileLoad& load = loads.emplace_back();
        load.file = file;
        load.byKind = false;
        load.number = kGlobalNumber;
        load.urlKind = kind;
    }
    for (size_t g = 0; g < groupCount; ++g) {
        const int group = static_cast<int>(g);
        const std::string name = groupName(group);
        FileLoad& phrases = loads.emplace_back();
        phrases.file = "phrase.fdb";
        phrases.enciphered = false;
        phrases.group = group;
        phrases.groupName = name;
        phrases.number = kListNumber;
        phrases.index = g;
        phrases.matcherKinds[0] = GroupPageBlock;
        phrases.matcherKinds[1] = GroupReplace;
        phrases.matcherKinds[2] = GroupUploadBlock;
        phrases.urlKind = GroupUrls;
        phrases.extensionKind = GroupExtensions;
        for (const auto& [kind, file] :
             {std::pair{GroupAccessControl, "passurl.fdb"}, std::pair{GroupUploadExempt, "nofilter.fdb"},
              std::pair{GroupDownloadExempt, "nofilter.fdb"}}) {
            FileLoad& load = loads.emplace_back();
            load.file = file;
            load.enciphered = false;
            load.group = group;
            load.groupName = name;
            load.byKind = false;
            load.number = kListNumber;
            load.index = g;
            load.urlKind = kind;
        }
    }

    const size_t fileBound = m_maxFileKeyBytes;
    std::atomic<size_t> next{0};
    auto work = [&] {
        FileKeys keys;
        for (size_t i; (i = next.fetch_add(1)) < loads.size();) {
            FileLoad& load = loads[i];
            collectKeys(
                load.file, load.enciphered, load.group, load.groupName, load.byKind, fileBound,
                [&load](const std::string& e) { load.errors.push_back(e); }, keys);
            if (load.byKind) {
                for (size_t k = 0; k < 3; ++k) // braces, brackets, parentheses
                    load.matchers[k] = makeMatcher(entries(keys.lists[k], load.number), caseInsensitive);
                distributePlainKeys(keys, load.number, load.urls, load.extensions);
            } else {
                keys.urls.clear();
                for (size_t s = 0; s < keys.lists[0].size(); ++s)
                    keys.urls.push_back(keys.lists[0][s]);
                load.urls.Build(keys.urls, load.number, keys.scratch);
            }
            load.steps = keys.steps;
        }
    };
    std::thread helper;
    if (loads.size() > 1 && std::thread::hardware_concurrency() > 1) {
        try {
            helper = std::thread(work);
        } catch (const std::system_error&) {
            // No second thread: this one reads every file.
        }
    }
    work();
    if (helper.joinable())
        helper.join();

    for (FileLoad& load : loads) {
        if (m_errorSink)
            for (const auto& e : load.errors)
                m_errorSink(e);
        if (!admitKeys(load.file, load.group, load.steps, m_errorSink)) {
            // Skipped: loaded as if the file held nothing.
            for (auto& m : load.matchers)
                m = makeMatcher({}, caseInsensitive);
            load.urls = KeyTable();
            load.extensions = KeyTable();
            load.urls.Seal();
            load.extensions.Seal();
        }
        tables(load.urlKind)[load.index] = std::move(load.urls);
        if (!load.byKind)
            continue;
        for (size_t k = 0; k < 3; ++k)
            m_matchers[static_cast<int>(load.matcherKinds[k])][load.index] = std::move(load.matchers[k]);
        tables(load.extensionKind)[load.index] = std::move(load.extensions);
    }
}

void LoadFilterDatabase()
{
    FilterDatabase& db = FilterDatabase::getInstance();
    db.Load(true);
    PreparePrefilters(db, *ConfigrationFileSigleton::getInstance());
}
