// zpfctl list: adds, removes and shows entries of a group's phrase, no-filter and
// pass-URL lists, in UTF-8.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/Encoding.h"
#include "config/ListChecks.h"
#include "zpfctl/Command.h"
#include "zpfctl/EditSession.h"
#include "zpfctl/Language.h"

namespace {

using zpfctl::Say;

struct ListKind {
    const char* word;
    const char* (ConfigrationFileSigleton::*get)(int) const;
    void (ConfigrationFileSigleton::*set)(const char*, int);
};

constexpr ListKind kLists[] = {
    {"phrase", &ConfigrationFileSigleton::GetPhrase, &ConfigrationFileSigleton::SetPhrase},
    {"nofilter", &ConfigrationFileSigleton::GetNoFilter, &ConfigrationFileSigleton::SetNoFilter},
    {"passurl", &ConfigrationFileSigleton::GetPassURL, &ConfigrationFileSigleton::SetPassURL},
};

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

int runList(const zpfctl::Args& given)
{
    zpfctl::Args args = given;
    const bool restart = zpfctl::TakeFlag(args, "--restart");
    if (args.size() < 2 || (args[0] != "add" && args[0] != "remove" && args[0] != "show"))
        return zpfctl::UsageError("list takes add, remove or show and phrase, nofilter or passurl");
    const std::string verb = args[0];
    const ListKind* kind = nullptr;
    for (const ListKind& k : kLists)
        kind = args[1] == k.word ? &k : kind;
    if (!kind)
        return zpfctl::UsageError("the lists are phrase, nofilter and passurl");
    args.erase(args.begin(), args.begin() + 2);
    zpfctl::EditSession session;
    const int group = session.TakeGroup(args);
    if (group < 0)
        return zpfctl::kFailed;
    ConfigrationFileSigleton& cnf = session.cnf();
    std::vector<std::string> lines = linesOf((cnf.*kind->get)(group));
    if (verb == "show") {
        if (!args.empty())
            return zpfctl::UsageError("list show takes no entries");
        for (const std::string& line : lines)
            std::printf("%s\n", encoding::sjisToUtf8(line).c_str());
        return zpfctl::kOk;
    }
    if (args.empty())
        return zpfctl::UsageError("list " + verb + " takes the entries");
    const bool japanese = zpfctl::Japanese();
    // Only what is typed now is checked ("line N" is the N-th entry typed): lines already
    // in the file, such as single-brace keys written by hand, stay as they are. The list
    // pages check through the same function.
    const bool phrase = kind->set == &ConfigrationFileSigleton::SetPhrase;
    int typed = 0;
    for (const std::string& entry : args) {
        ++typed;
        if (entry.empty())
            return zpfctl::Refuse(Say("空の行は登録できません。", "An entry may not be empty."));
        std::string sjis;
        if (!listchecks::EntryFromUtf8(entry, sjis))
            return zpfctl::Refuse(listchecks::UnencodableError(typed, japanese) + " (" + entry + ")");
        if (verb == "add") {
            if (std::string error = listchecks::EntryError(sjis, typed, phrase, japanese); !error.empty())
                return zpfctl::Refuse(error + " (" + entry + ")");
        }
        auto found = std::find(lines.begin(), lines.end(), sjis);
        if (verb == "add") {
            if (found == lines.end())
                lines.push_back(sjis);
            else
                std::printf("%s%s\n", Say("既にあります：", "already listed: "), entry.c_str());
        } else if (found == lines.end()) {
            return zpfctl::Refuse(Say("リストにありません：", "not in the list: ") + entry);
        } else {
            lines.erase(found);
        }
    }
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    (cnf.*kind->set)(text.c_str(), group);
    return session.Save(restart);
}

} // namespace

ZPFCTL_COMMAND("list",
               "list add|remove|show phrase|nofilter|passurl [ENTRY...] [--group NAME] [--restart]   edit a list",
               runList);
