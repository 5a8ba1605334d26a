// zpfctl lists: each group's phrase, no-filter and pass-URL texts, in UTF-8.
#include <cstdio>
#include <string>

#include "common/Encoding.h"
#include "config/ConfigrationFile.h"
#include "platform/TextFile.h"
#include "zpfctl/Command.h"

namespace {

void printText(const char* title, const char* sjis)
{
    std::printf("-- %s\n", title);
    std::string text = encoding::sjisToUtf8(sjis);
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (!text.empty() && text.back() != '\n')
        std::fputc('\n', stdout);
}

int runLists(const zpfctl::Args& given)
{
    zpfctl::Args args = given;
    std::string group;
    bool oneGroup = zpfctl::TakeOption(args, "--group", group);
    if (!args.empty())
        return zpfctl::UsageError("lists takes only --group NAME");
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    (void)cnf->Initialize(); // a missing file is reported below; the rest still shows
    const std::pair<const char*, const std::string*> files[] = {
        {"phrase.fdb", &cnf->phrasePath}, {"nofilter.fdb", &cnf->noFilterPath}, {"passurl.fdb", &cnf->passURLPath}};
    for (const auto& [name, path] : files) {
        if (!platform::PathExists(*path))
            std::fprintf(stderr, "zpfctl lists: %s is missing\n", path->c_str());
    }
    int first = 0;
    int last = cnf->groupList.size() - 1;
    if (oneGroup) {
        first = last = cnf->groupList.GetGroupNo(encoding::utf8ToSjis(group).c_str());
        if (first < 0) {
            std::fprintf(stderr, "zpfctl lists: no group '%s'\n", group.c_str());
            return zpfctl::kFailed;
        }
    }
    for (int g = first; g <= last; ++g) {
        if (cnf->groupList[g].deleted)
            continue;
        std::string name = encoding::sjisToUtf8(cnf->groupList.GetGroupName(g));
        std::printf("[%s]\n", g == 0 ? "(default)" : name.c_str());
        printText("phrase.fdb", cnf->GetPhrase(g));
        printText("nofilter.fdb", cnf->GetNoFilter(g));
        printText("passurl.fdb", cnf->GetPassURL(g));
    }
    return zpfctl::kOk;
}

} // namespace

ZPFCTL_COMMAND("lists", "lists [--group NAME]        print each group's phrase, no-filter and pass-URL lists",
               runLists);
