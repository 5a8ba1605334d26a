// Which content matchers make up a session's request and response phrase chains.
#include "filterdb/PhraseChains.h"

#include "config/ConfigrationFile.h"
#include "filterdb/FilterDatabase.h"
#include "filterdb/GroupSettings.h"

bool PhraseChain::AnyBlockMatch() const
{
    for (const BlockFilter* f : blockFilters) {
        if (f->Recorder() && !f->Recorder()->Empty())
            return true;
    }
    return false;
}

ChainMatchers ChainMatchersOf(bool request, int group, const FilterDatabase& db, const ConfigrationFileSigleton& cnf)
{
    ChainMatchers out;
    const ConfigrationFileData* data = GroupSettings(cnf, group);
    if (!data)
        return out;
    using enum MatcherKind;
    const bool categoryBlock = request ? data->UploadBlockFilter != 0 : data->PageBlockFilter != 0;
    const bool categoryReplace = request ? data->UploadReplaceFilter != 0 : data->DownloadReplaceFilter != 0;
    // Matchers never built are left out.
    auto add = [&](MatcherKind kind, int index) {
        if (const ContentMatcher* m = db.GetContentMatcher(kind, index))
            out.matchers.push_back(m);
    };
    auto addBlockedCategories = [&](MatcherKind kind) {
        for (size_t c = 0; c < data->categoryStatus.size(); ++c) {
            if (data->categoryStatus[c] == static_cast<int>(CategoryStatus::Block))
                add(kind, static_cast<int>(c));
        }
    };

    if (data->UserFilter)
        add(request ? GroupUploadBlock : GroupPageBlock, group);
    if (categoryBlock)
        addBlockedCategories(request ? CategoryUploadBlock : CategoryPageBlock);
    out.blockCount = out.matchers.size();
    if (data->UserFilter)
        add(GroupReplace, group);
    if (categoryReplace)
        addBlockedCategories(CategoryReplace);
    return out;
}

bool WantsPrefilter(const std::vector<const ContentMatcher*>& matchers)
{
    // One pass for all filters pays from three filters with keys on; with two, the
    // pieces where a phrase occurs cost more than the prefilter saves on the others.
    size_t withKeys = 0;
    for (const ContentMatcher* m : matchers)
        withKeys += m && m->HasKeys() ? 1u : 0u;
    return withKeys >= kMinFiltersForPrefilter;
}

PhraseChain BuildPhraseChain(bool request, int group, bool hold, bool doBlock, DataSink* sink, const FilterDatabase& db,
                             const ConfigrationFileSigleton& cnf)
{
    PhraseChain out;
    out.chain = std::make_unique<PhraseFilterChain>(hold, sink);
    const ChainMatchers plan = ChainMatchersOf(request, group, db, cnf);
    for (size_t i = 0; i < plan.matchers.size(); ++i) {
        std::unique_ptr<PhraseFilter> filter;
        if (i < plan.blockCount) {
            auto block = std::make_unique<BlockFilter>(plan.matchers[i]);
            block->SetBlocking(doBlock);
            out.blockFilters.push_back(block.get());
            filter = std::move(block);
        } else {
            auto replace = std::make_unique<ReplaceFilter>(plan.matchers[i]);
            out.replaceFilters.push_back(replace.get());
            filter = std::move(replace);
        }
        filter->EnableRecorder();
        out.chain->InsertFilter(std::move(filter), out.chain->FilterCount());
    }
    if (WantsPrefilter(plan.matchers))
        out.chain->SetPrefilter(db.GetPrefilter(plan.matchers));
    return out;
}

void PreparePrefilters(const FilterDatabase& db, const ConfigrationFileSigleton& cnf)
{
    for (size_t group = 0; group < cnf.cnfData.size(); ++group) {
        for (bool request : {true, false}) {
            const ChainMatchers plan = ChainMatchersOf(request, static_cast<int>(group), db, cnf);
            if (WantsPrefilter(plan.matchers))
                db.GetPrefilter(plan.matchers);
        }
    }
}
