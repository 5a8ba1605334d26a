#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "filterdb/ContentMatcher.h"

/// One pass over relayed data for all the filters of a chain. It holds the keys of
/// every filter's matcher in matchers that report each place where any key ends,
/// with the filters the key belongs to, so a chain learns from one scan which
/// filters can match in a piece at all; only those scan it themselves, and each
/// filter still acts exactly as it would alone. Filters whose matchers skip to rare
/// bytes are left out: they pass over a piece faster alone, and are always told to
/// scan. Read-only once made; shared by any
/// number of chains on any threads.
class ChainPrefilter {
public:
    /// Filters sharing one matcher (its key numbers are bit masks).
    static constexpr size_t kFiltersPerPass = 16;
    /// What a scan found for a filter.
    static constexpr uint8_t kHit = 1; ///< a key of the filter ends in the piece
    static constexpr uint8_t kHitAtEnd = 2; ///< one ends at the piece's last non-white byte

    /// Where each pass stands, carried from piece to piece by the chain.
    using States = std::vector<MatchState>;

    /// matchers in chain order; null ones never match. Check Usable() afterwards.
    explicit ChainPrefilter(const std::vector<const ContentMatcher*>& matchers);

    /// False when the keys did not fit; such a prefilter must not be used.
    bool Usable() const { return m_usable; }
    const std::vector<const ContentMatcher*>& Matchers() const { return m_matchers; }
    States StartStates() const { return States(m_passes.size(), ContentMatcher::kRootState); }
    /// The longest key of any filter.
    uint32_t MaxKeyLength() const { return m_maxKeyLength; }

    /// Scans a piece from states, white-blind, and leaves them at its end; flags gets
    /// one entry per filter.
    void Scan(States& states, const char* bytes, size_t length, std::vector<uint8_t>& flags) const;
    /// Sets states as a scan of the whole stream would have left them at the end of
    /// this piece, from the piece alone, with the flags of that scan. False when the
    /// piece has too few non-white bytes for that.
    bool Resync(States& states, const char* bytes, size_t length, std::vector<uint8_t>& flags) const;

    size_t MemoryBytes() const;

private:
    struct Pass {
        std::unique_ptr<ContentMatcher> matcher;
        std::vector<size_t> filters; // bit k of a key number stands for filters[k]
    };

    void scanPass(const Pass& pass, MatchState& state, const char* bytes, size_t length,
                  std::vector<uint8_t>& flags) const;

    void startFlags(std::vector<uint8_t>& flags) const;

    std::vector<const ContentMatcher*> m_matchers;
    std::vector<size_t> m_alone; // filters left out of the passes
    std::vector<Pass> m_passes;
    uint32_t m_maxKeyLength = 0;
    bool m_usable = true;
};
