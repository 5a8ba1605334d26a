// zpfctl keys, lookup and scan: what the filter database makes of key files, URLs
// and page text.
#include <cstdio>
#include <string>
#include <vector>

#include "common/BaseDirectory.h"
#include "common/Encoding.h"
#include "config/ConfigrationFile.h"
#include "filterdb/FilterDatabase.h"
#include "filterdb/FilterKey.h"
#include "filterdb/PhraseChains.h"
#include "filterdb/UrlLookup.h"
#include "platform/TextFile.h"
#include "zpfctl/Command.h"

namespace {

const char* kKindNames[] = {"braces", "brackets", "parentheses", "plain", "invalid"};

// Loads the configuration and resolves --group; -1 with a message when unknown.
int groupNumber(ConfigrationFileSigleton* cnf, const std::string& name)
{
    // Names arrive in UTF-8; the files hold them in Shift_JIS.
    int group = cnf->groupList.GetGroupNo(encoding::utf8ToSjis(name).c_str());
    if (group < 0 || (group > 0 && cnf->groupList[group].deleted))
        std::fprintf(stderr, "zpfctl: no group named '%s'\n", name.c_str());
    return group;
}

std::string categoryText(uint16_t number)
{
    std::string name;
    if (ConfigrationFileSigleton::getInstance()->GetCategoryName(number, name) && !name.empty())
        return std::to_string(number) + " " + encoding::sjisToUtf8(name);
    return std::to_string(number);
}

std::string numbersText(const MatchedKeys& keys)
{
    std::string out;
    for (uint16_t n : keys)
        out += (out.empty() ? "" : ", ") + categoryText(n);
    return out;
}

bool loadDatabase(ConfigrationFileSigleton* cnf)
{
    if (cnf->Initialize())
        std::fprintf(stderr, "zpfctl: configuration: %s\n",
                     cnf->errorText.empty() ? "a configuration or list file could not be read"
                                            : cnf->errorText.c_str());
    FilterDatabase::getInstance().SetErrorSink(
        [](const std::string& text) { std::fprintf(stderr, "zpfctl: %s\n", text.c_str()); });
    FilterDatabase::getInstance().Load(true);
    return true;
}

int runKeys(const zpfctl::Args& argsIn)
{
    zpfctl::Args args = argsIn;
    bool plain = zpfctl::TakeFlag(args, "--plain");
    std::string groupName;
    bool sectioned = zpfctl::TakeOption(args, "--group", groupName);
    if (args.size() != 1)
        return zpfctl::UsageError("keys needs exactly one FILE");
    // A section is found by its name; any group number above 0 asks for it, and the
    // empty name asks for the keys before the first section.
    int group = !sectioned ? -1 : groupName.empty() ? 0 : 1;
    // Key files are named relative to the program directory; a path names its own.
    std::string file = args[0];
    if (auto slash = file.rfind('/'); slash != std::string::npos) {
        SetBaseDirectory(file.substr(0, slash + 1));
        file = file.substr(slash + 1);
    }
    CAtFilterKeyFileReader reader(file, !plain,
                                  [](const std::string& text) { std::fprintf(stderr, "zpfctl: %s\n", text.c_str()); });
    long count = 0;
    bool ok = reader.forEachKey(group, encoding::utf8ToSjis(groupName), [&](FilterKey&& key) {
        ++count;
        std::printf("%s", kKindNames[key.kind]);
        for (const auto& s : key.strings)
            std::printf("\t%s", encoding::sjisToUtf8(s).c_str());
        std::printf("\n");
    });
    if (!ok)
        return zpfctl::kFailed;
    std::fprintf(stderr, "%ld keys\n", count);
    return zpfctl::kOk;
}

int runLookup(const zpfctl::Args& argsIn)
{
    zpfctl::Args args = argsIn;
    std::string groupName;
    zpfctl::TakeOption(args, "--group", groupName);
    if (args.size() != 1)
        return zpfctl::UsageError("lookup needs exactly one URL");
    const std::string& url = args[0];
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    loadDatabase(cnf);
    int group = groupNumber(cnf, groupName);
    if (group < 0)
        return zpfctl::kFailed;
    const FilterDatabase& db = FilterDatabase::getInstance();

    auto extension = UrlExtension(url);
    std::printf("url %s\nextension %s\n", url.c_str(), extension ? std::string(*extension).c_str() : "(none)");
    using enum TableKind;
    const int categoryCount = cnf->categoryList.GetCategoryNum();
    for (int c = 0; c < categoryCount; ++c) {
        const CCategory& category = cnf->categoryList[c];
        MatchedKeys urlKeys, extKeys;
        int u = LookupUrl(url, db.GetKeyTable(CategoryUrls, c), &urlKeys);
        int e = LookupExtension(url, db.GetKeyTable(CategoryExtensions, c), &extKeys);
        std::printf("category %-3d %-5u %-24s url %2d [%s]  extension %2d [%s]\n", c, category.number,
                    encoding::sjisToUtf8(category.name).c_str(), u, numbersText(urlKeys).c_str(), e,
                    numbersText(extKeys).c_str());
    }
    struct Row {
        TableKind kind;
        const char* what;
        bool extension;
    } rows[] = {
        {GroupUrls, "group URL list (phrase.fdb)", false},
        {GroupExtensions, "group extensions (phrase.fdb)", true},
        {AccessControl, "access-control list (target.fdb)", false},
        {GroupAccessControl, "group pass list (passurl.fdb)", false},
        {UploadExempt, "upload no-filter list (nofilup.fdb)", false},
        {GroupUploadExempt, "group no-filter list (nofilter.fdb)", false},
        {DownloadExempt, "download no-filter list (nofildow.fdb)", false},
        {GroupDownloadExempt, "group no-filter list, second copy", false},
    };
    for (const auto& r : rows) {
        MatchedKeys keys;
        const KeyTable* table = db.GetKeyTable(r.kind, group);
        int result = r.extension ? LookupExtension(url, table, &keys) : LookupUrl(url, table, &keys);
        std::printf("table %-2d %-40s %2d [%s]\n", static_cast<int>(r.kind), r.what, result, numbersText(keys).c_str());
    }
    MatchedKeys blocked;
    int hits = CountCategoryHits(UrlForms(url), CategoryUrls, CategoryStatus::Block, group, db, *cnf, &blocked);
    MatchedKeys passed;
    int passes = CountCategoryHits(UrlForms(url), CategoryUrls, CategoryStatus::Pass, group, db, *cnf, &passed);
    std::printf("blocked categories hit %d [%s]\npass-without-filtering categories hit %d [%s]\n", hits,
                numbersText(blocked).c_str(), passes, numbersText(passed).c_str());
    return zpfctl::kOk;
}

void printMatches(const char* what, const std::vector<PhraseFilter*>& filters, long pieceStart,
                  std::vector<size_t>& printed)
{
    for (size_t i = 0; i < filters.size(); ++i) {
        const MatchRecorder* rec = filters[i]->Recorder();
        if (!rec)
            continue;
        const auto& matches = rec->Matches();
        for (size_t m = printed[i]; m < matches.size(); ++m) {
            const auto& match = matches[m];
            std::printf("%s match: phrase \"%s\" key %s ends at byte %ld\n", what,
                        encoding::sjisToUtf8(match.phrase).c_str(), categoryText(match.keyNumber).c_str(),
                        match.end == kNotHeld ? -1L : pieceStart + static_cast<long>(match.end));
        }
        printed[i] = matches.size();
    }
}

int runScan(const zpfctl::Args& argsIn)
{
    zpfctl::Args args = argsIn;
    std::string groupName;
    zpfctl::TakeOption(args, "--group", groupName);
    if (args.size() != 1)
        return zpfctl::UsageError("scan needs exactly one FILE");
    std::string content;
    if (!platform::ReadFileBytes(args[0], content)) {
        std::fprintf(stderr, "zpfctl: cannot read %s\n", args[0].c_str());
        return zpfctl::kFailed;
    }
    ConfigrationFileSigleton* cnf = ConfigrationFileSigleton::getInstance();
    loadDatabase(cnf);
    int group = groupNumber(cnf, groupName);
    if (group < 0)
        return zpfctl::kFailed;
    const ConfigrationFileData& data = cnf->cnfData[static_cast<size_t>(group)];
    StringSink sink;
    PhraseChain chain = BuildPhraseChain(false, group, data.FilteringSize != 0, cnf->doBlock(group) != 0, &sink,
                                         FilterDatabase::getInstance(), *cnf);
    std::vector<PhraseFilter*> blocks(chain.blockFilters.begin(), chain.blockFilters.end());
    std::vector<PhraseFilter*> replaces(chain.replaceFilters.begin(), chain.replaceFilters.end());
    std::vector<size_t> printedBlocks(blocks.size()), printedReplaces(replaces.size());
    std::printf("%zu block filters, %zu replace filters\n", blocks.size(), replaces.size());
    bool blocked = false;
    constexpr size_t kPiece = 4096;
    for (size_t at = 0; at < content.size() && !blocked; at += kPiece) {
        size_t n = std::min(kPiece, content.size() - at);
        blocked = chain.chain->Write(content.data() + at, n);
        printMatches("block", blocks, static_cast<long>(at), printedBlocks);
        printMatches("replace", replaces, static_cast<long>(at), printedReplaces);
    }
    chain.chain->Flush();
    std::printf("%s\n--- output (%zu bytes) ---\n", blocked ? "BLOCKED" : "passed", sink.text.size());
    std::fwrite(sink.text.data(), 1, sink.text.size(), stdout);
    return zpfctl::kOk;
}

} // namespace

ZPFCTL_COMMAND("keys", "keys [--plain] [--group NAME] FILE  print the keys of a key file", runKeys);
ZPFCTL_COMMAND("lookup", "lookup [--group NAME] URL     look a URL up in every table of the filter database",
               runLookup);
ZPFCTL_COMMAND("scan", "scan [--group NAME] FILE      run a group's response phrase filters over a file", runScan);
