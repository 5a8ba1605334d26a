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

/// The process-wide filter database: the key tables and content matchers built from
/// the key files of the program directory. Created on first use; filled once at
/// start, before the listener runs, and only read afterwards, by any thread, without
/// locks.
///
/// Key table kinds: 6 and 14 per category (URL keys, "*." keys without "*."), 7 and
/// 15 per group (the same from phrase.fdb), 8 target.fdb, 10 nofilup.fdb, 12
/// nofildow.fdb (index ignored), 9 passurl.fdb, 11 and 13 nofilter.fdb per group.
/// Content matcher kinds: 0, 2, 4 per category and 1, 3, 5 per group, for the keys in
/// braces, brackets and parentheses.
class FilterDatabase {
public:
    static FilterDatabase& getInstance();

    /// Loads every key file of the program directory into the tables, using the
    /// category and group lists of the configuration singleton. Missing files leave
    /// their tables empty after an open-error line in the log.
    void Load(bool caseInsensitive);

    /// The table of a kind and index; null for any other kind or an index out of range.
    const KeyTable* GetKeyTable(int kind, int index) const;
    /// The matcher of a kind and index; null for any other kind or a slot never built.
    const ContentMatcher* GetContentMatcher(int kind, int index) const;
    /// The prefilter for a chain of these matchers, in this order: made on first
    /// request and kept for the chains that follow (the only part of the database
    /// that changes after loading, under its own lock). Null when the keys do not fit
    /// or the cache is full.
    std::shared_ptr<const ChainPrefilter> GetPrefilter(const std::vector<const ContentMatcher*>& matchers) const;

    // ---- the loader's steps, public for the tools and tests ----

    /// Reads a key file and appends each expanded string, with number, to the list of
    /// its key kind (invalid lines are dropped).
    void LoadKeyFile(const std::string& fileName, uint16_t number, bool enciphered, int group);
    /// Reads a key file and returns every expanded string of every kind.
    KeyEntryList LoadKeyList(const std::string& fileName, uint16_t number, bool enciphered, int group);
    void ClearKeyLists();
    const KeyEntryList& KeyList(int kind) const { return m_lists[kind]; }

    /// Where open errors go; by default the log writer. Tests replace it.
    void SetErrorSink(CAtFilterKeyFileReader::ErrorSink sink) { m_errorSink = std::move(sink); }

    /// Empties every table, matcher and prefilter.
    void Clear();

    FilterDatabase();

private:
    static constexpr int kTableKinds = 16;
    static constexpr int kMatcherKinds = 6;

    std::string groupName(int group) const;
    void buildMatcher(int kind, size_t index, const KeyEntryList& list, bool caseInsensitive);
    void distributePlainKeys(KeyTable& urls, KeyTable& extensions);

    std::vector<KeyTable> m_tables[kTableKinds];
    std::vector<std::unique_ptr<ContentMatcher>> m_matchers[kMatcherKinds];
    KeyEntryList m_lists[4];
    CAtFilterKeyFileReader::ErrorSink m_errorSink;

    // Groups switch filters on and off, so few chains differ; the bounds only keep a
    // strange configuration from growing the cache without end. Past them chains go
    // without a prefilter, which costs time, not results.
    static constexpr size_t kMaxPrefilters = 256;
    static constexpr size_t kMaxPrefilterBytes = size_t {512} << 20;
    mutable size_t m_prefilterBytes = 0;
    mutable std::mutex m_prefilterLock;
    mutable std::map<std::vector<const ContentMatcher*>, std::shared_ptr<const ChainPrefilter>> m_prefilters;
};

/// Creates the filter database and loads every key file, as the start of filtering
/// does when some group blocks or logs blocks; then makes the prefilters of every
/// group's chains, so no session waits for one.
void LoadFilterDatabase();
