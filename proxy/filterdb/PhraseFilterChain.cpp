// The chain of phrase filters that relayed data passes through on its way to the
// next stage.
#include "filterdb/PhraseFilterChain.h"

#include <algorithm>

bool PhraseFilterChain::Write(const char* bytes, size_t length)
{
    m_held.emplace_back(bytes, length);
    bool blocked = false;
    for (const auto& filter : m_filters) {
        if (filter->Write(m_held)) {
            blocked = true;
            break;
        }
    }
    if (!m_hold)
        passOn();
    return blocked;
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
    position = std::min(position, m_filters.size());
    m_filters.insert(m_filters.begin() + static_cast<std::ptrdiff_t>(position), std::move(filter));
    return raw;
}

std::unique_ptr<PhraseFilter> PhraseFilterChain::RemoveFilter(const PhraseFilter* filter)
{
    const int index = IndexOfFilter(filter);
    if (index < 0)
        return nullptr;
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
