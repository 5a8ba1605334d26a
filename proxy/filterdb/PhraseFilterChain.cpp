// The chain of phrase filters that relayed data passes through on its way to the
// next stage.
#include "filterdb/PhraseFilterChain.h"

#include <algorithm>
#include <string_view>

bool PhraseFilterChain::Write(const char* bytes, size_t length)
{
    m_held.emplace_back(bytes, length);
    const bool blocked = runFilters();
    if (!m_hold)
        passOn();
    return blocked;
}

// Each filter scans the newest piece in turn. With a prefilter in step, a filter
// none of whose keys ends in the piece (nor, for a late report, at the last byte
// before it) only moves its state past it. A filter that changes bytes makes the
// prefilter look at the piece again for the filters after it; a change within the
// piece's last key bytes, where the next piece's scans begin, puts it out of step
// until a piece has passed every filter unchanged there.
bool PhraseFilterChain::runFilters()
{
    const DataPiece& newest = m_held.back();
    const char* bytes = newest.Data();
    const size_t length = newest.Size();
    const bool skipping = m_prefilter && m_synced;
    // A key that ended at the last key byte before a piece of white bytes only is
    // still reported late by the piece after it, so its flag is carried across.
    const bool white = std::all_of(bytes, bytes + length, [](char c) { return ContentMatcher::IsWhite(c); });
    const auto prefilterScan = [&] {
        m_prefilter->Scan(m_prefilterStates, bytes, length, m_flags);
        if (white)
            for (size_t i = 0; i < m_flags.size(); ++i)
                m_flags[i] = static_cast<uint8_t>(m_flags[i] | (m_lastFlags[i] & ChainPrefilter::kHitAtEnd));
    };
    if (skipping) {
        m_lastFlags.swap(m_flags);
        m_startStates = m_prefilterStates;
        prefilterScan();
    }
    const size_t tail =
        m_prefilter ? ContentMatcher::TailStart(bytes, length, m_prefilter->MaxKeyLength()) : std::string_view::npos;
    bool tailChanged = false;
    bool blocked = false;
    for (size_t i = 0; i < m_filters.size() && !blocked; ++i) {
        PhraseFilter& filter = *m_filters[i];
        const uint64_t before = filter.MatchCount();
        const bool mayMatch =
            !skipping || (m_flags[i] & ChainPrefilter::kHit) != 0 || (m_lastFlags[i] & ChainPrefilter::kHitAtEnd) != 0;
        if (mayMatch || !filter.SkipNewest(m_held))
            blocked = filter.Write(m_held);
        if (filter.MatchCount() == before || !filter.ChangesData() || blocked)
            continue;
        if (tail == std::string_view::npos || filter.LastMatchEnd() >= static_cast<std::ptrdiff_t>(tail))
            tailChanged = true;
        if (skipping && i + 1 < m_filters.size()) {
            m_prefilterStates = m_startStates;
            prefilterScan();
        }
    }
    if (!m_prefilter)
        return blocked;
    if (blocked || tailChanged)
        m_synced = false;
    else if (!skipping)
        m_synced = m_prefilter->Resync(m_prefilterStates, bytes, length, m_flags);
    return blocked;
}

bool PhraseFilterChain::SetPrefilter(std::shared_ptr<const ChainPrefilter> prefilter)
{
    dropPrefilter();
    if (!prefilter || !prefilter->Usable() || prefilter->Matchers().size() != m_filters.size())
        return false;
    for (size_t i = 0; i < m_filters.size(); ++i)
        if (prefilter->Matchers()[i] != m_filters[i]->Matcher())
            return false;
    m_prefilter = std::move(prefilter);
    m_prefilterStates = m_prefilter->StartStates();
    m_flags.assign(m_filters.size(), 0);
    // Filters all at the start agree with a prefilter at its start; filters part way
    // into the data wait for the first clean piece to bring it in step.
    m_synced = true;
    for (const auto& filter : m_filters)
        if (filter->State() != ContentMatcher::kRootState)
            m_synced = false;
    return true;
}

void PhraseFilterChain::dropPrefilter()
{
    m_prefilter.reset();
    m_synced = false;
}

void PhraseFilterChain::passOn()
{
    // Without a sink the piece stays held until one is attached.
    if (!m_sink || m_held.empty())
        return;
    const DataPiece& oldest = m_held.front();
    if (m_sink->Write(oldest.Data(), oldest.Size()))
        m_sinkFailed = true;
    m_held.pop_front();
}

bool PhraseFilterChain::Flush()
{
    if (m_sink) {
        while (!m_held.empty())
            passOn();
        if (m_sink->Flush())
            m_sinkFailed = true;
    }
    return m_sinkFailed;
}

DataSink* PhraseFilterChain::DetachSink(bool flushFirst)
{
    if (flushFirst)
        Flush();
    DataSink* sink = m_sink;
    m_sink = nullptr;
    return sink;
}

PhraseFilter* PhraseFilterChain::InsertFilter(std::unique_ptr<PhraseFilter> filter, size_t position)
{
    PhraseFilter* raw = filter.get();
    if (!raw)
        return nullptr;
    dropPrefilter();
    position = std::min(position, m_filters.size());
    m_filters.insert(m_filters.begin() + static_cast<std::ptrdiff_t>(position), std::move(filter));
    return raw;
}

std::unique_ptr<PhraseFilter> PhraseFilterChain::RemoveFilter(const PhraseFilter* filter)
{
    const int index = IndexOfFilter(filter);
    if (index < 0)
        return nullptr;
    dropPrefilter();
    auto it = m_filters.begin() + index;
    std::unique_ptr<PhraseFilter> out = std::move(*it);
    m_filters.erase(it);
    return out;
}

PhraseFilter* PhraseFilterChain::GetFilter(size_t index) const
{
    return index < m_filters.size() ? m_filters[index].get() : nullptr;
}

int PhraseFilterChain::IndexOfFilter(const PhraseFilter* filter) const
{
    for (size_t i = 0; i < m_filters.size(); ++i)
        if (m_filters[i].get() == filter)
            return static_cast<int>(i);
    return -1;
}
