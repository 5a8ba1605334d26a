#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ravlin_export.h"

/// One category of the filter database: a line of category2.cnf, seven fields
/// separated by '|' (default value, two stored texts, number, display name, key file
/// name, update address). Texts are Shift_JIS.
class RAVLIN_EXPORT CCategory {
public:
    CCategory() = default;
    explicit CCategory(const char* line) { SetCategory(line); }
    CCategory(int defaultValue, unsigned short number, std::string key, std::string name, std::string rest, bool stale);
    CCategory(const CCategory&) = default;
    CCategory& operator=(const CCategory&) = default;

    /// Parses a category line. The '|' separators are found character by character,
    /// so a double-byte character whose second byte is '|' stays inside its field.
    /// Parsing stops at the first missing separator; the fields after it keep their
    /// values. A null line changes nothing.
    void SetCategory(const char* line);

    int defaultValue = 0;
    std::string text1;
    std::string text2;
    unsigned short number = 0;
    std::string name;
    /// Key file name in the program directory, zpf.cnf key, and identity when merging.
    std::string key;
    /// Where the filter update fetches the key file from.
    std::string rest;
    /// Set when the last reading of the file no longer held this category.
    bool stale = false;
};

/// The category list held by the configuration singleton. A category's index is its
/// index in every group's categoryStatus; categories are never removed, so a reading
/// that lacks one only marks it stale. One thread at a time.
class RAVLIN_EXPORT CCategoryList {
public:
    static constexpr int kLineSize = 512;
    /// Bounds for a file fed from outside: anything larger is not a category list.
    static constexpr long kMaxFileBytes = 1L << 20;
    static constexpr int kMaxCategories = 1024;

    /// Path from the program directory + "category2.cnf".
    CCategoryList();
    virtual ~CCategoryList() = default;
    CCategoryList(const CCategoryList&) = default;
    CCategoryList& operator=(const CCategoryList&) = default;

    /// Stores the text in errorText; shows nothing.
    virtual void Error(const char* text);

    /// Deciphers the category file and merges it into the list. Returns true on
    /// failure (missing, not enciphered, truncated, too large), with errorText set and
    /// the list unchanged.
    [[nodiscard]] bool ReadCategoryFile();

    /// Merges already deciphered text: marks every category stale, then applies each
    /// line (lines not starting with a digit are skipped). Returns the number of
    /// category lines applied.
    int MergeText(std::string_view text);
    /// Applies one category line: an existing category with the same key takes the
    /// line's text1, name, key and rest and is live again; a new key is appended.
    /// Returns false when the line is not a category line or is refused.
    bool MergeLine(const char* line);
    /// Marks every category stale (the start of a merge).
    void MarkAllStale();

    /// Index of the first category with this key, or -1.
    int FindKey(std::string_view key) const;
    /// All categories, stale ones included.
    int GetCategoryNum() const { return static_cast<int>(categories.size()); }
    /// Categories that are not stale.
    int GetLiveCategoryNum() const;
    int size() const { return GetCategoryNum(); }
    CCategory& operator[](int index) { return categories[static_cast<size_t>(index)]; }
    const CCategory& operator[](int index) const { return categories[static_cast<size_t>(index)]; }

    void SetPath(const char* newPath) { path = newPath ? newPath : ""; }

    std::vector<CCategory> categories;
    std::string errorText;
    std::string path;
};
