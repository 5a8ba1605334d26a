// The per-group list files phrase.fdb, nofilter.fdb and passurl.fdb: the section
// reader, the phrase variant lines, and the singleton's read and write members.
#include "config/ListFiles.h"

#include <algorithm>

#include "common/Encoding.h"
#include "config/ConfigLines.h"
#include "config/ListChecks.h"
#include "config/ConfigrationFile.h"
#include "platform/TextFile.h"

namespace listfiles {
namespace {

constexpr size_t kMaxFileBytes = listchecks::kMaxFileBytes;

bool startsWithParen(std::string_view line) { return !line.empty() && line[0] == '('; }

} // namespace

std::vector<Variant> VariantLines(std::string_view p)
{
    std::vector<Variant> out;
    auto add = [&](int position, std::string form) {
        if (form != p)
            out.push_back({position, std::move(form)});
    };
    bool paren = startsWithParen(p);
    std::string euc = encoding::sjisToEucForm(p);
    std::string utf8 = encoding::sjisToUtf8(p);
    add(1, euc);
    add(2, encoding::sjisToJisForm(p));
    if (paren) {
        add(3, encoding::patternForm(p));
        add(4, encoding::patternForm(euc));
    }
    add(paren ? 5 : 3, utf8);
    if (paren)
        add(6, encoding::patternForm(utf8));
    return out;
}

namespace {

void appendSjisVariants(std::string& out, std::string_view p)
{
    out += p;
    for (const Variant& v : VariantLines(p))
        out += v.line;
}

// An EUC-JP phrase P: its Shift_JIS form S goes first, so that P reads back as the
// EUC-JP form of S.
void appendEucVariants(std::string& out, std::string_view p)
{
    std::string s = encoding::eucToSjis(p);
    auto emit = [&](const std::string& form) {
        if (form != p)
            out += form;
    };
    if (s != p)
        out += s;
    out += p;
    std::string jis = encoding::sjisToJisForm(s);
    if (jis != s)
        out += jis;
    std::string utf8 = encoding::sjisToUtf8(s);
    if (startsWithParen(p)) {
        emit(encoding::patternForm(s));
        emit(encoding::patternForm(p));
    }
    emit(utf8);
    if (startsWithParen(p))
        emit(encoding::patternForm(utf8));
}

} // namespace

SectionReader::SectionReader(const GroupList& groups, std::vector<std::string*> texts, bool phrase)
    : m_groups(groups)
    , m_texts(std::move(texts))
    , m_phrase(phrase)
{
    if (!m_texts.empty() && m_texts[0])
        m_texts[0]->clear();
}

void SectionReader::setReference(std::string_view line)
{
    m_reference.assign(line);
    m_forms.paren = startsWithParen(line);
    // ASCII phrases are written alone.
    if (encoding::detectEncoding(line) == encoding::TextEncoding::Ascii)
        m_forms.written.clear();
    else
        m_forms.written = VariantLines(line);
    m_next = 0;
    m_forms.euc = encoding::sjisToEucForm(line);
    m_forms.jis = encoding::sjisToJisForm(line);
    m_forms.utf8 = encoding::sjisToUtf8(line);
    if (m_forms.paren) {
        m_forms.pattern = encoding::patternForm(line);
        m_forms.patternEuc = encoding::patternForm(m_forms.euc);
        m_forms.patternUtf8 = encoding::patternForm(m_forms.utf8);
    }
}

// Position 1 to 6 after a phrase: EUC-JP, JIS, pattern, pattern of EUC-JP, UTF-8,
// pattern of UTF-8. Pattern forms exist only for lines that begin with "(".
const std::string* SectionReader::form(int position) const
{
    switch (position) {
    case 1:
        return &m_forms.euc;
    case 2:
        return &m_forms.jis;
    case 3:
        return m_forms.paren ? &m_forms.pattern : nullptr;
    case 4:
        return m_forms.paren ? &m_forms.patternEuc : nullptr;
    case 5:
        return &m_forms.utf8;
    case 6:
        return m_forms.paren ? &m_forms.patternUtf8 : nullptr;
    default:
        return nullptr;
    }
}

bool SectionReader::isVariant(std::string_view line)
{
    int c = m_counter;
    if (c <= 0)
        return false;
    const std::string* expected = form(c);
    const std::vector<Variant>& written = m_forms.written;
    if ((expected && line == *expected) || (c == 3 && line == m_forms.utf8)) {
        for (size_t i = m_next; i < written.size(); ++i) {
            if (written[i].line == line) {
                m_next = i + 1;
                break;
            }
        }
        return true;
    }
    // The writer leaves out a form that equals the phrase itself (a phrase of
    // half-width katakana has no EUC-JP or JIS form of its own), so the position
    // count alone would take the next form for a phrase: accept the line the writer
    // wrote next, and carry on counting from its position.
    if (m_next < written.size() && line == written[m_next].line) {
        m_counter = written[m_next].position;
        ++m_next;
        return true;
    }
    return false;
}

void SectionReader::Line(std::string_view line)
{
    if (line.empty() || line[0] == '\n') {
        m_counter = 0;
        m_next = m_forms.written.size();
    } else if (line[0] == '%') {
        std::string name = GroupList::GetGroupNameFromLine(std::string(line).c_str());
        int group = m_groups.GetGroupNo(name.c_str());
        if (group >= 0) {
            if (group != m_current) {
                m_current = group;
                if (static_cast<size_t>(group) < m_texts.size() && m_texts[static_cast<size_t>(group)])
                    m_texts[static_cast<size_t>(group)]->clear();
            }
            m_counter = -1;
            m_next = m_forms.written.size();
        }
    } else if (!m_phrase || !isVariant(line)) {
        if (m_phrase) {
            m_counter = 0;
            setReference(line);
        }
        auto index = static_cast<size_t>(m_current);
        if (index < m_texts.size() && m_texts[index])
            m_texts[index]->append(line);
    }
    if (m_phrase)
        m_counter = (m_counter + 1) % 7;
}

std::string PhraseLines(std::string_view line, bool phraseEuc)
{
    std::string out;
    encoding::TextEncoding kind = encoding::detectEncoding(line);
    if (kind == encoding::TextEncoding::Ascii) {
        out.assign(line);
    } else if (!phraseEuc && kind != encoding::TextEncoding::EucJp) {
        appendSjisVariants(out, line);
    } else if (encoding::sjisToEucForm(encoding::eucToSjis(line)) == line) {
        appendEucVariants(out, line);
    } else {
        // Half-width katakana or supplementary kanji in EUC-JP have no Shift_JIS form
        // whose EUC-JP form gives them back; written as EUC-JP they would read back as
        // two phrases, so keep the line as it is.
        appendSjisVariants(out, line);
    }
    return out;
}

bool ReadListFile(const std::string& path, const GroupList& groups, const std::vector<std::string*>& texts, bool phrase)
{
    platform::TextFile file;
    if (!file.Open(path, "r"))
        return true;
    std::string bytes;
    char buf[65536];
    size_t n;
    while ((n = file.ReadBytes(buf, sizeof buf)) > 0) {
        bytes.append(buf, n);
        if (bytes.size() > kMaxFileBytes)
            return true;
    }
    file.Close();
    ParseListText(bytes, groups, texts, phrase);
    return false;
}

void ParseListText(std::string_view bytes, const GroupList& groups, const std::vector<std::string*>& texts, bool phrase)
{
    SectionReader reader(groups, texts, phrase);
    std::string line;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t lf = bytes.find('\n', pos);
        size_t end = lf == std::string_view::npos ? bytes.size() : lf;
        // Text mode: CR LF reads as LF. A NUL ends the line's text, as in a C string.
        size_t textEnd = end;
        if (lf != std::string_view::npos && end > pos && bytes[end - 1] == '\r')
            --textEnd;
        line.assign(bytes.substr(pos, textEnd - pos));
        line.resize(std::min(line.size(), line.find('\0')));
        if (lf != std::string_view::npos)
            line.push_back('\n');
        reader.Line(line);
        pos = lf == std::string_view::npos ? bytes.size() : lf + 1;
    }
}

std::string ListFileText(const GroupList& groups, const std::vector<const std::string*>& texts, bool phrase,
                         bool phraseEuc)
{
    std::string out;
    for (int g = 0; g < groups.GetGroupNum(); ++g) {
        out += '\n';
        if (g > 0) {
            out += '%';
            out += groups.GetGroupName(g);
            out += "%\n";
        }
        const std::string* text = static_cast<size_t>(g) < texts.size() ? texts[static_cast<size_t>(g)] : nullptr;
        if (!text || groups[g].deleted)
            continue;
        if (!phrase) {
            out += *text;
            continue;
        }
        size_t pos = 0;
        while (pos < text->size()) {
            size_t lf = text->find('\n', pos);
            std::string line = text->substr(pos, lf == std::string::npos ? std::string::npos : lf - pos + 1);
            if (lf == std::string::npos)
                line.push_back('\n');
            out += PhraseLines(line, phraseEuc);
            pos = lf == std::string::npos ? text->size() : lf + 1;
        }
    }
    return out;
}

bool WriteListFile(const std::string& path, const GroupList& groups, const std::vector<const std::string*>& texts,
                   bool phrase, bool phraseEuc)
{
    return zpfconfig::ReplaceTextFile(path, ListFileText(groups, texts, phrase, phraseEuc));
}

} // namespace listfiles

// ---- the singleton's list members ----

namespace {

using TextField = std::string ConfigrationFileData::*;

std::vector<std::string*> groupTexts(ConfigrationFileSigleton& cnf, TextField field)
{
    std::vector<std::string*> texts(static_cast<size_t>(cnf.groupList.GetGroupNum()), nullptr);
    for (size_t g = 0; g < texts.size() && g < cnf.cnfData.size(); ++g)
        texts[g] = &(cnf.cnfData[g].*field);
    return texts;
}

std::vector<const std::string*> constTexts(ConfigrationFileSigleton& cnf, TextField field)
{
    std::vector<std::string*> texts = groupTexts(cnf, field);
    return {texts.begin(), texts.end()};
}

bool readList(ConfigrationFileSigleton& cnf, bool& changed, const std::string& path, TextField field, bool phrase)
{
    changed = false;
    return listfiles::ReadListFile(path, cnf.groupList, groupTexts(cnf, field), phrase);
}

bool writeList(ConfigrationFileSigleton& cnf, bool& changed, const std::string& path, TextField field, bool phrase,
               bool phraseEuc)
{
    if (!changed)
        return false;
    if (listfiles::WriteListFile(path, cnf.groupList, constTexts(cnf, field), phrase, phraseEuc))
        return true;
    changed = false;
    return false;
}

} // namespace

bool ConfigrationFileSigleton::ReadPhrase()
{
    return readList(*this, bPhraseChanged, phrasePath, &ConfigrationFileData::phraseText, true);
}

bool ConfigrationFileSigleton::ReadNoFilter()
{
    return readList(*this, bNoFilterChanged, noFilterPath, &ConfigrationFileData::noFilterText, false);
}

bool ConfigrationFileSigleton::ReadPassURL()
{
    return readList(*this, bPassURLChanged, passURLPath, &ConfigrationFileData::passURLText, false);
}

bool ConfigrationFileSigleton::WritePhrase(bool phraseEuc)
{
    SaveScope lock(*this);
    return !lock.held() ||
           writeList(*this, bPhraseChanged, phrasePath, &ConfigrationFileData::phraseText, true, phraseEuc);
}

bool ConfigrationFileSigleton::WriteNoFilter()
{
    SaveScope lock(*this);
    return !lock.held() ||
           writeList(*this, bNoFilterChanged, noFilterPath, &ConfigrationFileData::noFilterText, false, false);
}

bool ConfigrationFileSigleton::WritePassURL()
{
    SaveScope lock(*this);
    return !lock.held() ||
           writeList(*this, bPassURLChanged, passURLPath, &ConfigrationFileData::passURLText, false, false);
}
