#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// One parsed line of a key file: its kind and the strings it stands for.
struct FilterKey {
    enum Kind { Braces = 0, Brackets = 1, Parentheses = 2, Plain = 3, Invalid = 4 };

    int kind = Invalid;
    std::vector<std::string> strings;

    /// Most strings one line may expand to; a line that would give more is rejected,
    /// so a hostile line cannot make loading explode.
    static constexpr size_t kMaxExpansion = 4096;
    /// Most bytes all expanded strings of one line may hold together.
    static constexpr size_t kMaxExpandedBytes = 1 << 20;

    /// Parses a line (trailing white space already removed). Lines shorter than three
    /// characters are invalid. A bracketed line whose groups expand to nothing but an
    /// empty string is invalid too: as a URL prefix it would match everything.
    static FilterKey Parse(std::string_view line);
};

/// The (string, key number) pairs a table or matcher is built from.
struct KeyEntryItem {
    std::string text;
    uint16_t number;
};
using KeyEntryList = std::vector<KeyEntryItem>;

/// Reader of one key file in the program directory, plain or enciphered, whole or one
/// group's section.
class CAtFilterKeyFileReader {
public:
    /// Receives the open-error lines ("... Open Error - ..."); may be empty.
    using ErrorSink = std::function<void(const std::string&)>;

    CAtFilterKeyFileReader(std::string fileName, bool enciphered, ErrorSink errorSink = {});

    /// The keys of one section: group -1 is the whole file, 0 the keys before the first
    /// "%" line, a group above 0 the block after the line naming `groupName`. Returns
    /// null when the file cannot be read. A second call for the same group returns the
    /// cached list.
    const std::vector<FilterKey>* readToList(int group, const std::string& groupName);

    /// The same section, handed key by key to `fn` without keeping them. Returns false
    /// when the file cannot be read.
    bool forEachKey(int group, const std::string& groupName, const std::function<void(FilterKey&&)>& fn);

    /// The same section, each string handed to `fn` with its kind, in the order
    /// forEachKey would give them; a plain line costs no allocation. Returns false
    /// when the file cannot be read.
    bool forEachString(int group, const std::string& groupName,
                       const std::function<void(int kind, std::string_view text)>& fn);

    static constexpr const char* kEndMarker = "*** End of filtering database. ***";

private:
    bool forEachLine(int group, const std::string& groupName, const std::function<void(std::string_view)>& fn);
    bool readDES(int group, const std::function<void(std::string_view)>& line);
    bool readPlain(const std::function<void(std::string_view)>& line);

    std::string m_fileName;
    bool m_enciphered;
    ErrorSink m_errorSink;
    int m_cachedGroup = 0;
    bool m_cached = false;
    std::vector<FilterKey> m_cache;
};
