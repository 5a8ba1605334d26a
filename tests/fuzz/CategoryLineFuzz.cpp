// Feeds arbitrary bytes to the category line parser and the category list merge, once
// as a fresh list and once merged over a list that already holds categories.
#include <cstdint>
#include <set>
#include <string>

#include "FuzzCheck.h"
#include "config/Category.h"

namespace {
void checkList(const CCategoryList& list)
{
    std::set<std::string> keys;
    for (const CCategory& c : list.categories) {
        // Keys identify categories: a merge never adds a second one with the same key.
        check(keys.insert(c.key).second);
        check(c.key.find('/') == std::string::npos && c.key.find('=') == std::string::npos);
    }
    check(list.size() <= CCategoryList::kMaxCategories && list.GetLiveCategoryNum() <= list.size());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);

    CCategory one(text.c_str());
    (void)one;

    CCategoryList fresh;
    fresh.MergeText(text);
    checkList(fresh);

    CCategoryList merged;
    merged.MergeText("1|a|b|101|adult|adult.fdb|http://h/adult\n0|a|b|102|game|game.fdb|http://h/game\n");
    merged.MergeText(text);
    checkList(merged);
    check(merged.size() >= 2); // categories are never removed
    return 0;
}
