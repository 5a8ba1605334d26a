// The one-pass scan that tells a chain which of its filters can match in a piece.
#include "filterdb/ChainPrefilter.h"

#include <algorithm>
#include <string_view>

namespace {

// Index of the last non-white byte; length when there is none.
size_t lastKeyByte(const char* bytes, size_t length)
{
    for (size_t i = length; i > 0; --i)
        if (!ContentMatcher::IsWhite(bytes[i - 1]))
            return i - 1;
    return length;
}

} // namespace

ChainPrefilter::ChainPrefilter(const std::vector<const ContentMatcher*>& matchers)
    : m_matchers(matchers)
{
    // Filters go into passes in order, up to kFiltersPerPass in each; matchers that
    // fold case and those that do not never share one.
    for (int folding = 1; folding >= 0; --folding) {
        Pass* open = nullptr;
        for (size_t i = 0; i < matchers.size(); ++i) {
            const ContentMatcher* m = matchers[i];
            if (!m || !m->HasKeys() || m->CaseFolding() != (folding == 1))
                continue;
            if (m->SkipsToRareBytes()) {
                m_alone.push_back(i);
                continue;
            }
            if (!open || open->filters.size() == kFiltersPerPass) {
                m_passes.push_back(Pass{std::make_unique<ContentMatcher>(folding == 1, true), {}});
                open = &m_passes.back();
            }
            const auto bit = static_cast<uint16_t>(1u << open->filters.size());
            open->filters.push_back(i);
            for (std::string_view key : m->Keys())
                if (open->matcher->AddKey(key, bit))
                    m_usable = false;
        }
    }
    for (Pass& pass : m_passes) {
        pass.matcher->Build();
        m_maxKeyLength = std::max(m_maxKeyLength, pass.matcher->MaxKeyLength());
    }
}

void ChainPrefilter::scanPass(const Pass& pass, MatchState& state, const char* bytes, size_t length,
                              std::vector<uint8_t>& flags) const
{
    const size_t last = lastKeyByte(bytes, length);
    size_t offset = 0;
    // Every report moves past a byte, so this ends within length rounds.
    while (offset < length) {
        MatchResult r;
        const bool found = pass.matcher->ScanCompact(state, bytes + offset, length - offset, r);
        state = r.state;
        if (!found)
            break;
        const size_t end = offset + static_cast<size_t>(std::max<std::ptrdiff_t>(r.end, 0));
        const uint8_t flag = end == last ? kHit | kHitAtEnd : kHit;
        for (size_t k = 0; k < pass.filters.size(); ++k)
            if (r.keyNumber & (1u << k))
                flags[pass.filters[k]] |= flag;
        offset = end + 1;
    }
}

void ChainPrefilter::startFlags(std::vector<uint8_t>& flags) const
{
    flags.assign(m_matchers.size(), 0);
    for (size_t i : m_alone)
        flags[i] = kHit;
}

void ChainPrefilter::Scan(States& states, const char* bytes, size_t length, std::vector<uint8_t>& flags) const
{
    startFlags(flags);
    for (size_t p = 0; p < m_passes.size(); ++p)
        scanPass(m_passes[p], states[p], bytes, length, flags);
}

bool ChainPrefilter::Resync(States& states, const char* bytes, size_t length, std::vector<uint8_t>& flags) const
{
    startFlags(flags);
    std::vector<size_t> from(m_passes.size());
    for (size_t p = 0; p < m_passes.size(); ++p) {
        from[p] = ContentMatcher::TailStart(bytes, length, m_passes[p].matcher->MaxKeyLength());
        if (from[p] == std::string_view::npos)
            return false;
    }
    for (size_t p = 0; p < m_passes.size(); ++p) {
        states[p] = ContentMatcher::kRootState;
        scanPass(m_passes[p], states[p], bytes + from[p], length - from[p], flags);
    }
    return true;
}

size_t ChainPrefilter::MemoryBytes() const
{
    size_t bytes = sizeof(*this) + m_matchers.capacity() * sizeof(void*) + m_alone.capacity() * sizeof(size_t);
    for (const Pass& pass : m_passes)
        bytes += pass.matcher->MemoryBytes() + pass.filters.capacity() * sizeof(size_t);
    return bytes;
}
