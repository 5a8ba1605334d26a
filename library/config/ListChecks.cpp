// The checks of an entry of the per-group list files, shared by every door that edits them.
#include "config/ListChecks.h"

#include <algorithm>

#include "common/Encoding.h"
#include "config/ListFiles.h"

namespace listchecks {
namespace {

std::string lineText(int line, bool japanese)
{
    return japanese ? std::to_string(line) + "行目" : "Line " + std::to_string(line);
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool endsWith(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// The "{{phrase}}" and "[[phrase]]" forms; other lines are URLs and pass.
std::string bracketError(std::string_view e, int line, bool japanese)
{
    const std::string at = lineText(line, japanese);
    if (startsWith(e, "{")) {
        if (!startsWith(e, "{{"))
            return japanese ? at + "の{{が正しくありません。" : at + ": a phrase must begin with {{.";
        if (!endsWith(e, "}}"))
            return japanese ? at + "の}}が正しくありません。" : at + ": a phrase begun with {{ must end with }}.";
    }
    if (startsWith(e, "[")) {
        if (!startsWith(e, "[["))
            return japanese ? at + "の[[が正しくありません。" : at + ": a phrase must begin with [[.";
        if (!endsWith(e, "]]"))
            return japanese ? at + "の]]が正しくありません。" : at + ": a phrase begun with [[ must end with ]].";
    }
    return {};
}

std::string tooLong(int line, bool japanese)
{
    const std::string limit = std::to_string(kMaxLineBytes);
    return japanese ? lineText(line, true) + "が長すぎます（" + limit + " バイトまで）。"
                    : lineText(line, false) + " is too long (at most " + limit + " bytes).";
}

} // namespace

bool EntryFromUtf8(std::string_view utf8, std::string& sjis)
{
    std::string back;
    return encoding::convert("UTF-8", "CP932", utf8, sjis) && encoding::convert("CP932", "UTF-8", sjis, back) &&
           back == utf8;
}

std::string UnencodableError(int line, bool japanese)
{
    return japanese ? lineText(line, true) + "に使えない文字が含まれています。"
                    : lineText(line, false) + " holds a character that has no Shift_JIS form.";
}

std::string EntryError(std::string_view entry, int line, bool phrase, bool japanese)
{
    if (endsWith(entry, "\r"))
        entry.remove_suffix(1);
    if (entry.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return japanese ? lineText(line, true) + "に改行などの制御文字は入力できません。"
                        : lineText(line, false) + " holds a line end or NUL.";
    if (startsWith(entry, "%"))
        return japanese ? lineText(line, true) + "は % で始められません（グループの区切りと見なされます）。"
                        : lineText(line, false) + " may not begin with % (it would start a group's section).";
    if (entry.size() > kMaxLineBytes)
        return tooLong(line, japanese);
    if (!phrase || entry.empty())
        return {};
    if (std::string error = bracketError(entry, line, japanese); !error.empty())
        return error;
    // The forms written beside a phrase (percent-encoded ones triple in length) must
    // fit a line too.
    const std::string written = listfiles::PhraseLines(std::string(entry) + "\n", false);
    size_t start = 0;
    while (start < written.size()) {
        const size_t lf = std::min(written.find('\n', start), written.size());
        if (lf - start > kMaxLineBytes)
            return tooLong(line, japanese);
        start = lf + 1;
    }
    return {};
}

std::string FileSizeError(const GroupList& groups, const std::vector<const std::string*>& texts, bool phrase,
                          bool japanese)
{
    const std::string text = listfiles::ListFileText(groups, texts, phrase, false);
    // Every line feed becomes CR LF on disk.
    const size_t bytes = text.size() + static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    if (bytes <= kMaxFileBytes)
        return {};
    const std::string mib = std::to_string(kMaxFileBytes >> 20);
    return japanese ? "一覧が大きすぎます（ファイル全体で " + mib + " MB まで）。行を減らしてください。"
                    : "The list is too large (its file holds at most " + mib + " MiB).";
}

} // namespace listchecks
