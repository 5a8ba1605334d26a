#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/GroupList.h"
#include "ravlin_export.h"

/// The per-group list files phrase.fdb, nofilter.fdb and passurl.fdb. Each holds, for
/// every group in group order, an empty line, the section line "%name%" (not for the
/// default group) and the group's lines. phrase.fdb follows each phrase with the same
/// phrase in the other encodings a page may arrive in; reading drops those again.
namespace listfiles {

/// Reads at most this many bytes per piece, as the file format always has; longer
/// lines are put together again before they are interpreted.
constexpr int kReadBufferSize = 512;

/// One variant line of a phrase and its place in the position count after the phrase:
/// 1 EUC-JP, 2 JIS, 3 pattern, 4 pattern of EUC-JP, 5 UTF-8, 6 pattern of UTF-8
/// (3 for the UTF-8 form of a line that has no pattern forms).
struct Variant {
    int position;
    std::string line;
};

/// The variant lines written after a Shift_JIS phrase line (ending in LF), in order:
/// its EUC-JP, JIS and UTF-8 forms and, for a line beginning with "(", the pattern
/// forms; a form equal to the phrase itself is left out.
RAVLIN_EXPORT std::vector<Variant> VariantLines(std::string_view phrase);

/// Turns the lines of a list file into one text per group. A phrase's variant lines
/// are dropped by their position after the phrase, and a line that is exactly the
/// variant the writer put next is dropped too. Not thread-safe.
class RAVLIN_EXPORT SectionReader {
public:
    /// texts[g] receives group g's text (a null entry discards that group's lines).
    /// Group 0's text is emptied now; another group's text is emptied when its section
    /// starts. phrase: drop the variant lines that follow each phrase.
    SectionReader(const GroupList& groups, std::vector<std::string*> texts, bool phrase);

    /// Feeds one whole line, with its line feed unless it ends the file.
    void Line(std::string_view line);

private:
    struct Forms {
        std::string euc, jis, pattern, patternEuc, utf8, patternUtf8;
        bool paren = false;
        std::vector<Variant> written;
    };
    bool isVariant(std::string_view line);
    const std::string* form(int position) const;
    void setReference(std::string_view line);

    const GroupList& m_groups;
    std::vector<std::string*> m_texts;
    bool m_phrase;
    int m_current = 0;
    int m_counter = 0;
    size_t m_next = 0; // next entry of m_forms.written
    std::string m_reference;
    Forms m_forms;
};

/// The lines written to phrase.fdb for one phrase line (ending in LF): the line and its
/// EUC-JP, JIS, pattern and UTF-8 forms, or the line alone when it is plain ASCII.
/// phraseEuc takes every non-ASCII line as EUC-JP; otherwise only lines that look like
/// EUC-JP are.
RAVLIN_EXPORT std::string PhraseLines(std::string_view line, bool phraseEuc);

/// Reads a list file (text mode) into texts (see SectionReader). Returns true when the
/// file cannot be opened or read or is larger than 16 MiB; the texts are then unchanged.
[[nodiscard]] RAVLIN_EXPORT bool ReadListFile(const std::string& path, const GroupList& groups,
                                              const std::vector<std::string*>& texts, bool phrase);

/// ReadListFile's parser: the file's bytes as read from disk (CR LF or LF line ends).
RAVLIN_EXPORT void ParseListText(std::string_view bytes, const GroupList& groups,
                                 const std::vector<std::string*>& texts, bool phrase);

/// The whole content of a list file for these texts (one per group; a missing entry
/// counts as empty). A deleted group's lines are left out, since its section line
/// names no group and its lines would join the group before it.
RAVLIN_EXPORT std::string ListFileText(const GroupList& groups, const std::vector<const std::string*>& texts,
                                       bool phrase, bool phraseEuc);

/// Writes ListFileText in text mode (CR LF on disk), replacing the file whole. Returns
/// true when it cannot be written (the old file is then left as it was).
[[nodiscard]] RAVLIN_EXPORT bool WriteListFile(const std::string& path, const GroupList& groups,
                                               const std::vector<const std::string*>& texts, bool phrase,
                                               bool phraseEuc);

} // namespace listfiles
