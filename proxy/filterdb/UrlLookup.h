#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

class KeyTable;
class FilterDatabase;
class ConfigrationFileSigleton;
enum class TableKind : int;
enum class CategoryStatus : int;

/// Matched category numbers of one decision, in order of first appearance.
using MatchedKeys = std::vector<uint16_t>;

/// Prefix lookup of url in table: -1 when the table is missing or empty, else the
/// number of distinct key numbers among the matching keys (0: no match). Matched
/// numbers are appended to `matched` when given.
int LookupUrl(std::string_view url, const KeyTable* table, MatchedKeys* matched = nullptr);

/// The extension of url: the text after the last "." of the part after the last "/"
/// behind the first "//", query text included ("a.cgi?x=1" gives "cgi?x=1"). Empty
/// optional when the url has no "//", no "/" after it or no "." after that.
std::optional<std::string_view> UrlExtension(std::string_view url);

/// Exact lookup of url's extension in table: -2 when url has no extension, else as
/// LookupUrl.
int LookupExtension(std::string_view url, const KeyTable* table, MatchedKeys* matched = nullptr);

/// The spellings of one request's URL that the lookups try: as the request gave it,
/// and its canonical form (see CanonicalUrl; may be empty). `sameKey` tells that the
/// canonical form is the given one as a key, so a prefix lookup of it finds nothing new.
struct UrlForms {
    UrlForms(std::string_view givenForm, std::string_view canonicalForm = {}, bool canonicalIsSameKey = false)
        : given(givenForm)
        , canonical(canonicalForm)
        , sameKey(canonicalIsSameKey || canonicalForm.empty())
    {
    }
    std::string_view given;
    std::string_view canonical;
    bool sameKey;
};

/// LookupUrl of both forms: a hit on either counts, and the result counts the
/// distinct numbers of both.
int LookupUrl(const UrlForms& url, const KeyTable* table, MatchedKeys* matched = nullptr);
/// LookupExtension of the given form and the canonical form's extension (its query
/// left out), counted as LookupUrl of both forms counts.
int LookupExtension(const UrlForms& url, const KeyTable* table, MatchedKeys* matched = nullptr);

/// For every category whose status in group equals status, looks url up in that
/// category's table of kind (CategoryUrls: prefix, CategoryExtensions: extension) and
/// counts the categories that match; their numbers are appended to `matched`.
int CountCategoryHits(const UrlForms& url, TableKind kind, CategoryStatus status, int group, const FilterDatabase& db,
                      const ConfigrationFileSigleton& cnf, MatchedKeys* matched = nullptr);
