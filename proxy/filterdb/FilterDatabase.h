#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "filterdb/ChainPrefilter.h"
#include "filterdb/ContentMatcher.h"
#include "filterdb/FilterKey.h"
#include "filterdb/KeyTable.h"

/// The key tables of the database. The numbers are the ones the lookup tool prints.
/// The three single tables ignore the index they are asked for.
enum class TableKind : int {
    CategoryUrls = 6, ///< per category: URL keys
    GroupUrls = 7, ///< per group: URL keys of phrase.fdb
    AccessControl = 8, ///< target.fdb, single
    GroupAccessControl = 9, ///< passurl.fdb per group
    UploadExempt = 10, ///< nofilup.fdb, single
    GroupUploadExempt = 11, ///< nofilter.fdb per group, for requests
    DownloadExempt = 12, ///< nofildow.fdb, single
    GroupDownloadExempt = 13, ///< nofilter.fdb per group, for responses
    CategoryExtensions = 14, ///< per category: "*." keys without "*."
    GroupExtensions = 15, ///< per group: the same from phrase.fdb
};

/// The content matchers of the database: per category and per group, for the keys in
/// braces (page block), brackets (replace) and parentheses (upload block).
enum class MatcherKind : int {
    CategoryPageBlock = 0,
    GroupPageBlock = 1,
    CategoryReplace = 2,
    GroupReplace = 3,
    CategoryUploadBlock = 4,
    GroupUploadBlock = 5,
};

/// What a group does with a category (its entry in categoryStatus).
enum class CategoryStatus : int { Unused = 0, Block = 1, Pass = 2 };

/// The process-wide filter database: the key tables and content matchers built from
/// the key files of the program directory. Created on first use; filled once at
/// start, before the listener runs, and only read afterwards, by any thread, without
/// locks.
class FilterDatabase {
public:
    static FilterDatabase& getInstance();

    /// Loads every key file of the program directory into the tables, using the
    /// category and group lists of the configuration singleton. Missing files leave
    /// their tables empty after an open-error line in the log.
    void Load(bool caseInsensitive);

    /// The table of a kind and index; null for any other kind or an index out of range.
    const KeyTable* GetKeyTable(TableKind kind, int index) const;
    /// The matcher of a kind and index; null for any other kind or a slot never built.
    const ContentMatcher* GetContentMatcher(MatcherKind kind, int index) const;
    /// The prefilter for a chain of these matchers, in this order: made on first
    /// request and kept for the chains that follow (the only part of the database
    /// that changes after loading, under its own lock). Null when the keys do not fit
    /// or the cache is full.
    std::shared_ptr<const ChainPrefilter> GetPrefilter(const std::vector<const ContentMatcher*>& matchers) const;

    // ---- the loader's steps, public for the tools and tests ----

    /// Reads a key file and appends each expanded string, with number, to the list of
    /// its key kind (invalid lines and repeated strings are dropped). A file whose
    /// strings hold more than the bounds allow is reported and adds nothing.
    void LoadKeyFile(const std::string& fileName, uint16_t number, bool enciphered, int group);
    /// Reads a key file and returns every expanded string of every kind, each once,
    /// within the same bounds.
    KeyEntryList LoadKeyList(const std::string& fileName, uint16_t number, bool enciphered, int group);
    /// Most bytes the distinct strings of one key file (one section of a sectioned
    /// file) may hold, and all loaded files together until the next Clear. A few
    /// hundred bracketed lines can otherwise expand to gigabytes.
    static constexpr size_t kMaxFileKeyBytes = size_t{16} << 20;
    static constexpr size_t kMaxDatabaseKeyBytes = size_t{128} << 20;
    void SetKeyBytesBounds(size_t perFile, size_t total)
    {
        m_maxFileKeyBytes = perFile;
        m_maxDatabaseKeyBytes = total;
    }
    void ClearKeyLists();
    const KeyEntryList& KeyList(int kind) const { return m_lists[kind]; }

    /// Where open errors go; by default the log writer. Tests replace it.
    void SetErrorSink(CAtFilterKeyFileReader::ErrorSink sink) { m_errorSink = std::move(sink); }

    /// Empties every table, matcher and prefilter.
    void Clear();

    FilterDatabase();

private:
    static constexpr int kTableKinds = static_cast<int>(TableKind::GroupExtensions) + 1;
    static constexpr int kMatcherKinds = static_cast<int>(MatcherKind::GroupUploadBlock) + 1;

    /// The distinct strings of one key file by kind, as read before the database's
    /// bound is applied, and the memory tables are built in: one is reused from file
    /// to file.
    struct FileKeys;
    /// What one key file gives: filled on a loader thread, taken in loading order.
    struct FileLoad;

    std::string groupName(int group) const;
    std::vector<KeyTable>& tables(TableKind kind) { return m_tables[static_cast<int>(kind)]; }
    static std::unique_ptr<ContentMatcher> makeMatcher(const KeyEntryList& list, bool caseInsensitive);
    /// Fills and seals both tables with the plain strings of keys: "*." keys, less the
    /// "*.", go to extensions.
    static void distributePlainKeys(FileKeys& keys, uint16_t number, KeyTable& urls, KeyTable& extensions);
    /// Reads the file's distinct strings by kind (all in kind 0 when byKind is false)
    /// into emptied keys, stopping at the file's bound; touches nothing shared but the
    /// sink.
    static void collectKeys(const std::string& fileName, bool enciphered, int group, const std::string& groupName,
                            bool byKind, size_t fileBound, const CAtFilterKeyFileReader::ErrorSink& sink,
                            FileKeys& keys);
    /// Applies both bounds to strings of these lengths in loading order: false, after
    /// a report, when they are over one.
    bool admitKeys(const std::string& fileName, int group, const std::vector<uint32_t>& steps,
                   const CAtFilterKeyFileReader::ErrorSink& sink);
    /// collectKeys and admitKeys: false, with the lists emptied, when the file is over
    /// a bound.
    bool readFileKeys(const std::string& fileName, bool enciphered, int group, bool byKind, FileKeys& keys);
    bool readKeys(const std::string& fileName, uint16_t number, bool enciphered, int group, bool byKind,
                  KeyEntryList (&out)[4]);

    std::vector<KeyTable> m_tables[kTableKinds];
    std::vector<std::unique_ptr<ContentMatcher>> m_matchers[kMatcherKinds];
    KeyEntryList m_lists[4];
    CAtFilterKeyFileReader::ErrorSink m_errorSink;
    size_t m_maxFileKeyBytes = kMaxFileKeyBytes;
    size_t m_maxDatabaseKeyBytes = kMaxDatabaseKeyBytes;
    size_t m_keyBytes = 0;

    // Groups switch filters on and off, so few chains differ; the bounds only keep a
    // strange configuration from growing the cache without end. Past them chains go
    // without a prefilter, which costs time, not results.
    static constexpr size_t kMaxPrefilters = 256;
    static constexpr size_t kMaxPrefilterBytes = size_t{512} << 20;
    mutable size_t m_prefilterBytes = 0;
    mutable std::mutex m_prefilterLock;
    mutable std::map<std::vector<const ContentMatcher*>, std::shared_ptr<const ChainPrefilter>> m_prefilters;
};

/// Creates the filter database and loads every key file, as the start of filtering
/// does when some group blocks or logs blocks; then makes the prefilters of every
/// group's chains, so no session waits for one.
void LoadFilterDatabase();
