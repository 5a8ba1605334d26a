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
    std::vector<BlockFilter*> blockFilters; ///< in chain order, owned by chain
    std::vector<ReplaceFilter*> replaceFilters; ///< in chain order, owned by chain

    /// True when any block filter matched so far.
    bool AnyBlockMatch() const;
};

/// Chains with at least this many filters that have keys get a prefilter.
inline constexpr size_t kMinFiltersForPrefilter = 3;

/// The matchers of a group's request (upload) or response (download) chain, in chain
/// order: the block filters' first, then the replace filters'.
struct ChainMatchers {
    std::vector<const ContentMatcher*> matchers;
    size_t blockCount = 0;
};

/// The matchers a group's switches call for: the group's own with UserFilter, and one
/// per category the group blocks with UploadBlockFilter / UploadReplaceFilter
/// (request) or PageBlockFilter / DownloadReplaceFilter (response). Matchers never
/// built are left out.
ChainMatchers ChainMatchersOf(bool request, int group, const FilterDatabase& db, const ConfigrationFileSigleton& cnf);

/// Whether a chain of these matchers gets a prefilter.
bool WantsPrefilter(const std::vector<const ContentMatcher*>& matchers);

/// Builds a group's request or response chain of the matchers ChainMatchersOf gives,
/// each filter recording its matches. With doBlock off the block filters only record.
PhraseChain BuildPhraseChain(bool request, int group, bool hold, bool doBlock, DataSink* sink, const FilterDatabase& db,
                             const ConfigrationFileSigleton& cnf);

/// Makes (and keeps in the database) the prefilters of every group's request and
/// response chains, so no session waits for one.
void PreparePrefilters(const FilterDatabase& db, const ConfigrationFileSigleton& cnf);
