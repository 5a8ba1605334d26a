#pragma once

#include <memory>
#include <vector>

#include "filterdb/PhraseFilter.h"
#include "filterdb/PhraseFilterChain.h"

class FilterDatabase;
class ConfigrationFileSigleton;

/// One session's request or response phrase chain with its filters, each recording
/// its matches for the block log.
struct PhraseChain {
    std::unique_ptr<PhraseFilterChain> chain;
    std::vector<BlockFilter*> blockFilters;     ///< in chain order, owned by chain
    std::vector<ReplaceFilter*> replaceFilters; ///< in chain order, owned by chain

    /// True when any block filter matched so far.
    bool AnyBlockMatch() const;
};

/// Chains with at least this many filters that have keys get a prefilter.
inline constexpr size_t kMinFiltersForPrefilter = 3;

/// Builds a group's request (upload) or response (download) chain from its switches:
/// the group's own matchers with UserFilter, and one matcher per category whose status
/// in the group is 1 with UploadBlockFilter / UploadReplaceFilter (request) or
/// PageBlockFilter / DownloadReplaceFilter (response). With doBlock off the block
/// filters only record. Matchers never built are left out.
PhraseChain BuildPhraseChain(bool request, int group, bool hold, bool doBlock, DataSink* sink,
                             const FilterDatabase& db, const ConfigrationFileSigleton& cnf);

/// Makes (and keeps in the database) the prefilters of every group's request and
/// response chains.
void PreparePrefilters(const FilterDatabase& db, const ConfigrationFileSigleton& cnf);
