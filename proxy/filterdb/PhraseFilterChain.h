#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "filterdb/ChainPrefilter.h"
#include "filterdb/PhraseFilter.h"

/// The next stage after a chain, such as the connection the data goes out on.
class DataSink {
public:
    virtual ~DataSink() = default;
    /// Sends bytes on; length may be 0 for a piece a filter emptied. Returns true on failure.
    virtual bool Write(const char* bytes, size_t length) = 0;
    /// Pushes out anything the sink buffers. Returns true on failure.
    virtual bool Flush() { return false; }
};

/// A sink that keeps everything written to it, for the tools and tests.
class StringSink : public DataSink {
public:
    bool Write(const char* bytes, size_t length) override
    {
        text.append(bytes, length);
        return false;
    }
    std::string text;
};

/// Relayed data on its way through phrase filters. Each written piece is held, seen
/// by every filter in order, and then passed on to the sink, at once or (with the
/// hold flag) only when the chain is flushed, so replace filters can still reach
/// back into held pieces. The chain owns its filters, not its sink; it serves one
/// session thread.
class PhraseFilterChain {
public:
    explicit PhraseFilterChain(bool hold, DataSink* sink = nullptr)
        : m_hold(hold)
        , m_sink(sink)
    {
    }
    PhraseFilterChain(const PhraseFilterChain&) = delete;
    PhraseFilterChain& operator=(const PhraseFilterChain&) = delete;

    /// Holds a copy of the bytes and runs the filters over them; without the hold
    /// flag the oldest held piece then goes on. Returns true when a filter blocked.
    bool Write(const char* bytes, size_t length);
    /// Passes on every held piece, oldest first, then flushes the sink. Returns
    /// true when the sink failed now or at any write before.
    bool Flush();

    void SetHold(bool hold) { m_hold = hold; }
    bool IsHolding() const { return m_hold; }
    void AttachSink(DataSink* sink) { m_sink = sink; }
    /// Flushes first when asked; returns the sink that was attached.
    DataSink* DetachSink(bool flushFirst);
    DataSink* Sink() const { return m_sink; }
    /// True once a write to the sink has failed.
    bool SinkFailed() const { return m_sinkFailed; }

    /// Inserts filter before position (at the end when position is past it).
    PhraseFilter* InsertFilter(std::unique_ptr<PhraseFilter> filter, size_t position);
    /// Takes filter out of the chain and hands it back; null when it is not here.
    std::unique_ptr<PhraseFilter> RemoveFilter(const PhraseFilter* filter);
    /// The filter at index, or null.
    PhraseFilter* GetFilter(size_t index) const;
    /// Index of filter in the chain, or -1.
    int IndexOfFilter(const PhraseFilter* filter) const;
    size_t FilterCount() const { return m_filters.size(); }

    /// Lets one scan per piece find the filters that can match in it, so the others
    /// skip it; the outcome is the same as without. Its matchers must be the filters'
    /// own, in chain order; returns false (and uses none) when they are not. Adding
    /// or removing a filter drops it.
    bool SetPrefilter(std::shared_ptr<const ChainPrefilter> prefilter);
    bool HasPrefilter() const { return m_prefilter != nullptr; }

    const HeldPieces& Held() const { return m_held; }

private:
    void passOn();
    bool runFilters();
    void dropPrefilter();

    bool m_hold;
    DataSink* m_sink;
    bool m_sinkFailed = false;
    HeldPieces m_held;
    std::vector<std::unique_ptr<PhraseFilter>> m_filters;

    std::shared_ptr<const ChainPrefilter> m_prefilter;
    ChainPrefilter::States m_prefilterStates;
    ChainPrefilter::States m_startStates; // where the prefilter stood at the newest piece's start
    // True while the prefilter's states and every filter's state agree with the data
    // as it now stands: no filter has changed a byte since the prefilter saw it.
    bool m_synced = false;
    std::vector<uint8_t> m_flags; // the prefilter's findings for the newest piece
    std::vector<uint8_t> m_lastFlags; // the same for the piece before
};
