// zpfctl categories: the category list of a program directory, names shown in UTF-8.
#include <cstdio>

#include "common/Encoding.h"
#include "config/Category.h"
#include "zpfctl/Command.h"

namespace {

int runCategories(const zpfctl::Args& args)
{
    if (!args.empty())
        return zpfctl::UsageError("categories takes no arguments");
    CCategoryList list;
    if (list.ReadCategoryFile()) {
        std::fprintf(stderr, "zpfctl categories: %s: %s\n", list.path.c_str(), list.errorText.c_str());
        return zpfctl::kFailed;
    }
    std::printf("%-5s %-6s %-20s %-7s %-5s %s\n", "index", "number", "key", "default", "stale", "name");
    for (int i = 0; i < list.size(); ++i) {
        const CCategory& c = list[i];
        std::printf("%-5d %-6u %-20s %-7d %-5s %s\n", i, static_cast<unsigned>(c.number),
                    encoding::sjisToUtf8(c.key).c_str(), c.defaultValue, c.stale ? "yes" : "no",
                    encoding::sjisToUtf8(c.name).c_str());
    }
    return zpfctl::kOk;
}

} // namespace

ZPFCTL_COMMAND("categories", "categories                  list the categories of category2.cnf", runCategories);
