// The lookups of the filtering decision: URL prefixes, extensions and per-category hits.
#include "filterdb/UrlLookup.h"

#include "filterdb/CanonicalUrl.h"

#include "config/ConfigrationFile.h"
#include "filterdb/FilterDatabase.h"
#include "filterdb/GroupSettings.h"
#include "filterdb/KeyTable.h"

namespace {

/// The numbers found for the given form merged with those of the canonical one.
std::optional<KeyNumbers> merge(std::optional<KeyNumbers> given, const std::optional<KeyNumbers>& canonical)
{
    if (given && canonical)
        given->AddAll(*canonical);
    return given;
}

int countResult(const std::optional<KeyNumbers>& found, MatchedKeys* matched)
{
    if (!found)
        return -1;
    if (matched) {
        for (uint16_t n : found->Values()) {
            bool seen = false;
            for (uint16_t m : *matched)
                seen = seen || m == n;
            if (!seen)
                matched->push_back(n);
        }
    }
    return static_cast<int>(found->Size());
}

} // namespace

int LookupUrl(std::string_view url, const KeyTable* table, MatchedKeys* matched)
{
    if (!table || table->Empty())
        return -1;
    return countResult(table->LookupKeys(url, false), matched);
}

int LookupUrl(const UrlForms& url, const KeyTable* table, MatchedKeys* matched)
{
    if (!table || table->Empty())
        return -1;
    std::optional<KeyNumbers> found = table->LookupKeys(url.given, false);
    if (!url.sameKey)
        found = merge(std::move(found), table->LookupKeys(url.canonical, false));
    return countResult(found, matched);
}

std::optional<std::string_view> UrlExtension(std::string_view url)
{
    size_t scheme = url.find("//");
    if (scheme == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = url.substr(scheme + 2);
    size_t slash = rest.rfind('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    std::string_view segment = rest.substr(slash + 1);
    size_t dot = segment.rfind('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    return segment.substr(dot + 1);
}

int LookupExtension(std::string_view url, const KeyTable* table, MatchedKeys* matched)
{
    auto extension = UrlExtension(url);
    if (!extension)
        return -2;
    if (!table || table->Empty())
        return -1;
    return countResult(table->LookupKeys(*extension, true), matched);
}

int LookupExtension(const UrlForms& url, const KeyTable* table, MatchedKeys* matched)
{
    const auto given = UrlExtension(url.given);
    auto canonical = CanonicalExtension(url.canonical);
    if (canonical == given)
        canonical.reset();
    if (!given && !canonical)
        return -2;
    if (!table || table->Empty())
        return -1;
    std::optional<KeyNumbers> found = given ? table->LookupKeys(*given, true) : KeyNumbers();
    if (canonical)
        found = merge(std::move(found), table->LookupKeys(*canonical, true));
    return countResult(found, matched);
}

int CountCategoryHits(const UrlForms& url, TableKind kind, CategoryStatus status, int group, const FilterDatabase& db,
                      const ConfigrationFileSigleton& cnf, MatchedKeys* matched)
{
    const ConfigrationFileData* data = GroupSettings(cnf, group);
    if (!data)
        return 0;
    const auto& statuses = data->categoryStatus;
    int hits = 0;
    for (size_t c = 0; c < statuses.size(); ++c) {
        if (statuses[c] != static_cast<int>(status))
            continue;
        const KeyTable* table = db.GetKeyTable(kind, static_cast<int>(c));
        const bool extension = kind == TableKind::CategoryExtensions;
        int r = extension ? LookupExtension(url, table, matched) : LookupUrl(url, table, matched);
        if (r > 0)
            ++hits;
    }
    return hits;
}
