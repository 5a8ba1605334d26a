// Which content matchers make up a session's request and response phrase chains.
#include "filterdb/PhraseChains.h"

#include "config/ConfigrationFile.h"
#include "filterdb/FilterDatabase.h"

bool PhraseChain::AnyBlockMatch() const
{
    for (const BlockFilter* f : blockFilters) {
        if (f->Recorder() && !f->Recorder()->Empty())
            return true;
    }
    return false;
}

PhraseChain BuildPhraseChain(bool request, int group, bool hold, bool doBlock, DataSink* sink,
                             const FilterDatabase& db, const ConfigrationFileSigleton& cnf)
{
    PhraseChain out;
    out.chain = std::make_unique<PhraseFilterChain>(hold, sink);
    if (group < 0 || static_cast<size_t>(group) >= cnf.cnfData.size())
        return out;
    const ConfigrationFileData& data = cnf.cnfData[static_cast<size_t>(group)];

    using enum MatcherKind;
    const MatcherKind ownBlockKind = request ? GroupUploadBlock : GroupPageBlock;
    const MatcherKind categoryBlockKind = request ? CategoryUploadBlock : CategoryPageBlock;
    const bool categoryBlock = request ? data.UploadBlockFilter != 0 : data.PageBlockFilter != 0;
    const bool categoryReplace = request ? data.UploadReplaceFilter != 0 : data.DownloadReplaceFilter != 0;

    auto addBlock = [&](const ContentMatcher* m) {
        if (!m)
            return;
        auto filter = std::make_unique<BlockFilter>(m);
        filter->SetBlocking(doBlock);
        filter->EnableRecorder();
        out.blockFilters.push_back(filter.get());
        out.chain->InsertFilter(std::move(filter), out.chain->FilterCount());
    };
    auto addReplace = [&](const ContentMatcher* m) {
        if (!m)
            return;
        auto filter = std::make_unique<ReplaceFilter>(m);
        filter->EnableRecorder();
        out.replaceFilters.push_back(filter.get());
        out.chain->InsertFilter(std::move(filter), out.chain->FilterCount());
    };
    auto forBlockedCategories = [&](MatcherKind kind, auto add) {
        for (size_t c = 0; c < data.categoryStatus.size(); ++c) {
            if (data.categoryStatus[c] == static_cast<int>(CategoryStatus::Block))
                add(db.GetContentMatcher(kind, static_cast<int>(c)));
        }
    };

    if (data.UserFilter)
        addBlock(db.GetContentMatcher(ownBlockKind, group));
    if (categoryBlock)
        forBlockedCategories(categoryBlockKind, addBlock);
    if (data.UserFilter)
        addReplace(db.GetContentMatcher(GroupReplace, group));
    if (categoryReplace)
        forBlockedCategories(CategoryReplace, addReplace);

    // One pass for all filters pays from three filters with keys on; with two, the
    // pieces where a phrase occurs cost more than the prefilter saves on the others.
    std::vector<const ContentMatcher*> matchers;
    size_t withKeys = 0;
    for (size_t i = 0; i < out.chain->FilterCount(); ++i) {
        const ContentMatcher* m = out.chain->GetFilter(i)->Matcher();
        matchers.push_back(m);
        withKeys += m && m->HasKeys() ? 1 : 0;
    }
    if (withKeys >= kMinFiltersForPrefilter)
        out.chain->SetPrefilter(db.GetPrefilter(matchers));
    return out;
}

void PreparePrefilters(const FilterDatabase& db, const ConfigrationFileSigleton& cnf)
{
    for (size_t group = 0; group < cnf.cnfData.size(); ++group)
        for (bool request : {true, false})
            BuildPhraseChain(request, static_cast<int>(group), false, true, nullptr, db, cnf);
}
