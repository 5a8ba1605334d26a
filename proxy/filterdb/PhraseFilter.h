#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "filterdb/ContentMatcher.h"

/// One piece of relayed data held by a chain. Filters may blank its bytes in place
/// or shorten it to nothing; its length never grows.
class DataPiece {
public:
    DataPiece(const char* bytes, size_t length)
        : m_bytes(bytes, bytes + length)
    {
    }

    char* Data() { return m_bytes.data(); }
    const char* Data() const { return m_bytes.data(); }
    size_t Size() const { return m_bytes.size(); }
    void Clear() { m_bytes.clear(); }

private:
    std::vector<char> m_bytes;
};

/// The pieces a chain holds, oldest first.
using HeldPieces = std::deque<DataPiece>;

/// Positions in held data are counted from the start of the newest piece; negative
/// ones lie in older held pieces (-1 is the last byte of the piece before it).
inline constexpr std::ptrdiff_t kNotHeld = PTRDIFF_MIN;

/// The text a filter scans: the newest piece from an offset on, read as if its
/// spaces, tabs, CR and LF were absent, with the way back to the pieces' bytes.
class CompactText {
public:
    CompactText(const HeldPieces& pieces, size_t offset);

    /// The bytes of the newest piece from the offset on, white bytes included.
    const char* Raw() const { return m_raw; }
    size_t RawSize() const { return m_rawSize; }
    /// The text itself, white bytes removed.
    std::string Text() const;
    /// Position of its n-th byte (counted from 0) in held data; n == -1 is the last
    /// non-white byte before the offset, possibly in an older piece. kNotHeld when
    /// that byte is not held (any more).
    std::ptrdiff_t Position(std::ptrdiff_t n) const;

private:
    const HeldPieces& m_pieces;
    const char* m_raw = nullptr;
    size_t m_rawSize = 0;
    size_t m_offset;
};

/// A match a filter found, as the block log wants it.
struct PhraseMatch {
    std::string phrase; ///< the key that matched, as the matcher keeps it
    uint16_t keyNumber = 0;
    std::ptrdiff_t end = 0; ///< position of its last byte when found (see kNotHeld)
    uint32_t length = 0;
};

/// The matches of one filter. A page can match without end, so only the first
/// kMaxKept are kept; Count() still counts them all.
class MatchRecorder {
public:
    static constexpr size_t kMaxKept = 256;

    void Add(PhraseMatch match);
    const std::vector<PhraseMatch>& Matches() const { return m_matches; }
    size_t Count() const { return m_count; }
    bool Empty() const { return m_count == 0; }
    void Clear();

private:
    std::vector<PhraseMatch> m_matches;
    size_t m_count = 0;
};

/// A filter of a chain: finds the phrases of one matcher in the newest held piece
/// and runs its match action on each. The matcher belongs to the filter database and
/// must outlive the filter; the scan state is carried from piece to piece, so a
/// phrase that began in an earlier piece is found too. A filter serves one chain on
/// one thread.
class PhraseFilter {
public:
    /// matcher may be null: such a filter never matches.
    explicit PhraseFilter(const ContentMatcher* matcher)
        : m_matcher(matcher)
    {
    }
    virtual ~PhraseFilter() = default;
    PhraseFilter(const PhraseFilter&) = delete;
    PhraseFilter& operator=(const PhraseFilter&) = delete;

    /// Scans the newest of pieces and acts on every match. Returns true when the
    /// filter has blocked the transfer.
    virtual bool Write(HeldPieces& pieces);

    const ContentMatcher* Matcher() const { return m_matcher; }
    MatchState State() const { return m_state; }
    /// Forgets any partial phrase: the next scan starts afresh.
    void ResetState() { m_state = ContentMatcher::kRootState; }
    /// Moves the scan state past the newest piece without scanning it all, for a
    /// piece where none of the filter's keys ends (the chain knows). False when the
    /// piece is too short to tell the state from; it must then be scanned.
    bool SkipNewest(const HeldPieces& pieces);
    /// Matches acted on so far.
    uint64_t MatchCount() const { return m_matchCount; }
    /// Whether acting on a match may change held bytes.
    virtual bool ChangesData() const { return true; }

    std::ptrdiff_t LastMatchEnd() const { return m_lastEnd; }
    uint32_t LastMatchLength() const { return m_lastLength; }
    uint16_t LastMatchNumber() const { return m_lastNumber; }

    /// Starts keeping the matches (idempotent). Recorder() is null until then.
    MatchRecorder& EnableRecorder();
    MatchRecorder* Recorder() { return m_recorder.get(); }
    const MatchRecorder* Recorder() const { return m_recorder.get(); }

protected:
    /// Acts on a match whose last byte is at end (a held-data position) and which
    /// covers length non-white bytes. Returns the offset in the newest piece where
    /// scanning goes on, or a negative value to stop.
    virtual std::ptrdiff_t OnMatch(HeldPieces& pieces, std::ptrdiff_t end, uint32_t length) = 0;
    /// The scan shared by both kinds of filter.
    void scanNewest(HeldPieces& pieces);
    /// Offset in the whole stream of the newest piece's first byte, so positions can
    /// be kept from one piece to the next.
    long long NewestStart() const { return m_newestStart; }

private:
    void enterNewest(size_t size);
    void noteKeyBytes(const char* bytes, size_t from, size_t to);

    const ContentMatcher* m_matcher;
    MatchState m_state = ContentMatcher::kRootState;
    long long m_newestStart = 0;
    size_t m_newestSize = 0;
    // Stream offset of the last key byte scanned, as it was then: a key reported one
    // byte late ended there, even if blanks have since been written over it.
    long long m_lastKeyByte = -1;
    uint64_t m_matchCount = 0;
    std::ptrdiff_t m_lastEnd = 0;
    uint32_t m_lastLength = 0;
    uint16_t m_lastNumber = 0;
    std::unique_ptr<MatchRecorder> m_recorder;
};

/// Stops the transfer at the first phrase: every held piece is emptied, and so is
/// every piece that comes later. With blocking switched off it only records.
class BlockFilter : public PhraseFilter {
public:
    using PhraseFilter::PhraseFilter;

    bool Write(HeldPieces& pieces) override;

    bool IsBlocked() const { return m_blocked; }
    void SetBlocked(bool blocked) { m_blocked = blocked; }
    bool IsBlocking() const { return m_blocking; }
    void SetBlocking(bool blocking) { m_blocking = blocking; }
    bool ChangesData() const override { return m_blocking; }

protected:
    std::ptrdiff_t OnMatch(HeldPieces& pieces, std::ptrdiff_t end, uint32_t length) override;

private:
    bool m_blocked = false;
    bool m_blocking = true;
};

/// Blanks every phrase out with spaces, leaving the data's length unchanged. It
/// reaches back into older pieces only while they are still held.
class ReplaceFilter : public PhraseFilter {
public:
    using PhraseFilter::PhraseFilter;

protected:
    std::ptrdiff_t OnMatch(HeldPieces& pieces, std::ptrdiff_t end, uint32_t length) override;

private:
    long long m_blankedTo = -1; // stream offset of the end of the last phrase blanked
};
