// The category list: parsing of category2.cnf lines, the merge that keeps every
// category at its index, and the singleton's category queries.
#include "config/Category.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "cipher/CDes.h"
#include "common/BaseDirectory.h"
#include "common/Encoding.h"
#include "config/ConfigLines.h"
#include "config/ConfigrationFile.h"
#include "platform/FileSystem.h"

namespace {

int parseInt(std::string_view s) { return zpfconfig::ParseIntPrefix(std::string(s).c_str()); }

// The key names a file in the program directory that the filter update writes, so a
// key that could leave the directory (or is not text) is refused. It is also a zpf.cnf
// key: one with '=' or starting like a comment or section line would not read back
// (and a section line would hide the group's remaining settings).
bool isSafeKey(std::string_view key)
{
    if (key == "." || key == ".." || (!key.empty() && (key[0] == '#' || key[0] == '%')))
        return false;
    for (char c : key) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '=')
            return false;
    }
    return encoding::findSjisChar(key, '\\') == std::string_view::npos;
}

// A deciphered category list is text: control bytes other than TAB, CR and LF, or
// NUL bytes before the zero padding, mean the file was not enciphered with our key.
bool looksLikeText(std::string_view text)
{
    size_t end = text.find_last_not_of('\0');
    text = end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t' && c != '\r' && c != '\n') || u == 0x7F)
            return false;
    }
    return true;
}

} // namespace

CCategory::CCategory(int defaultValue_, unsigned short number_, std::string key_, std::string name_, std::string rest_,
                     bool stale_)
    : defaultValue(defaultValue_)
    , number(number_)
    , name(std::move(name_))
    , key(std::move(key_))
    , rest(std::move(rest_))
    , stale(stale_)
{
}

void CCategory::SetCategory(const char* line)
{
    if (!line)
        return;
    std::string_view text(line);
    defaultValue = parseInt(text);
    size_t bar = encoding::findSjisChar(text, '|');
    if (bar == std::string_view::npos)
        return;
    std::string* fields[] = {&text1, &text2, nullptr, &name, &key};
    for (std::string* field : fields) {
        size_t next = encoding::findSjisChar(text, '|', bar + 1);
        if (next == std::string_view::npos)
            return;
        std::string_view value = text.substr(bar + 1, next - bar - 1);
        if (field)
            field->assign(value);
        else
            number = static_cast<unsigned short>(parseInt(value));
        bar = next;
    }
    std::string_view tail = text.substr(bar + 1);
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r' || tail.back() == '\t'))
        tail.remove_suffix(1);
    rest.assign(tail);
}

CCategoryList::CCategoryList()
    : path(baseDirectory() + "category2.cnf")
{
}

void CCategoryList::Error(const char* text) { errorText = text ? text : ""; }

bool CCategoryList::ReadCategoryFile()
{
    CDes des;
    if (des.Setting(0, 4, CDes::kKey, CDes::kIV, CDes::kUnit, CDes::kShift) != 0) {
        Error("CategoryFile Cipher Setting Error");
        return true;
    }
    if (des.OpenReadFile(path.c_str()) != 0) {
        Error("CategoryFile Cipher Open Error");
        return true;
    }
    // Every file we encipher ends on a whole cipher unit; a partial last unit means a
    // cut-off download, whose last line would merge as a bogus category.
    const long long bytes = platform::FileSize(path);
    if (bytes < 0 || bytes > static_cast<long long>(kMaxFileBytes) || bytes % CDes::kUnit != 0) {
        des.CloseReadFile();
        Error("CategoryFile Format Error");
        return true;
    }
    std::string plain;
    constexpr int kChunk = 16384 / CDes::kUnit * CDes::kUnit;
    std::vector<char> chunk(kChunk + CDes::kUnit);
    for (;;) {
        int n = des.ReadData(chunk.data(), kChunk);
        if (n <= 0 || plain.size() > static_cast<size_t>(kMaxFileBytes))
            break;
        plain.append(chunk.data(), static_cast<size_t>(n));
    }
    des.CloseReadFile();
    if (!looksLikeText(plain)) {
        Error("CategoryFile Format Error");
        return true;
    }
    MergeText(plain);
    return false;
}

int CCategoryList::MergeText(std::string_view text)
{
    MarkAllStale();
    int applied = 0;
    while (!text.empty()) {
        size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
        if (!line.empty() && line.back() == '\r' && lf != std::string_view::npos)
            line.remove_suffix(1);
        // Lines are read as C strings of at most kLineSize characters.
        line = line.substr(0, std::min(line.find('\0'), static_cast<size_t>(kLineSize)));
        std::string copy(line);
        if (MergeLine(copy.c_str()))
            ++applied;
    }
    return applied;
}

bool CCategoryList::MergeLine(const char* line)
{
    if (!line || line[0] < '0' || line[0] > '9')
        return false;
    CCategory fresh(line);
    if (!isSafeKey(fresh.key))
        return false;
    int index = FindKey(fresh.key);
    if (index >= 0) {
        CCategory& existing = categories[static_cast<size_t>(index)];
        existing.text1 = fresh.text1;
        existing.name = fresh.name;
        existing.key = fresh.key;
        existing.rest = fresh.rest;
        existing.stale = false;
        return true;
    }
    if (GetCategoryNum() >= kMaxCategories)
        return false;
    categories.push_back(std::move(fresh));
    return true;
}

void CCategoryList::MarkAllStale()
{
    for (CCategory& c : categories)
        c.stale = true;
}

int CCategoryList::FindKey(std::string_view key) const
{
    for (size_t i = 0; i < categories.size(); ++i) {
        if (categories[i].key == key)
            return static_cast<int>(i);
    }
    return -1;
}

int CCategoryList::GetLiveCategoryNum() const
{
    int live = 0;
    for (const CCategory& c : categories)
        live += c.stale ? 0 : 1;
    return live;
}

// ---- the singleton's category queries ----

bool ConfigrationFileSigleton::GetCategoryName(unsigned short number, std::string& name) const
{
    name.clear();
    for (const CCategory& c : categoryList.categories) {
        if (c.number == number) {
            name = c.name;
            return true;
        }
    }
    return false;
}

bool ConfigrationFileSigleton::GetCategoryClass(unsigned short number, std::string& name) const
{
    return GetCategoryName(number, name);
}

bool ConfigrationFileSigleton::GetCategoryUse(int index) const
{
    if (index < 0)
        return false;
    for (const ConfigrationFileData& data : cnfData) {
        if (static_cast<size_t>(index) < data.categoryStatus.size() && data.categoryStatus[static_cast<size_t>(index)])
            return true;
    }
    return false;
}

int ConfigrationFileSigleton::GetStatusCategoryNum(int group, int status) const
{
    if (group < 0 || static_cast<size_t>(group) >= cnfData.size())
        return 0;
    const std::vector<int>& values = cnfData[static_cast<size_t>(group)].categoryStatus;
    int count = 0;
    for (size_t c = 0; c < categoryList.categories.size() && c < values.size(); ++c) {
        if (!categoryList.categories[c].stale && values[c] == status)
            ++count;
    }
    return count;
}
