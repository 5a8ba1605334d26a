// Phrase filters on relayed data: the white-blind view of a piece, the scan common
// to all filters, and the block and replace actions.
#include "filterdb/PhraseFilter.h"

#include <algorithm>

namespace {

// A byte of held data, addressed by piece and index.
struct HeldByte {
    std::ptrdiff_t piece;
    std::ptrdiff_t index;
};

// Where a held-data position lies; piece is negative when it lies before every held
// piece.
HeldByte locate(const HeldPieces& pieces, std::ptrdiff_t position)
{
    std::ptrdiff_t piece = static_cast<std::ptrdiff_t>(pieces.size()) - 1;
    while (piece >= 0 && position < 0) {
        --piece;
        if (piece >= 0)
            position += static_cast<std::ptrdiff_t>(pieces[static_cast<size_t>(piece)].Size());
    }
    return {piece, position};
}

// Steps one byte back across held pieces; false at the start of held data.
bool stepBack(const HeldPieces& pieces, HeldByte& at)
{
    while (at.index == 0) {
        if (at.piece <= 0)
            return false;
        --at.piece;
        at.index = static_cast<std::ptrdiff_t>(pieces[static_cast<size_t>(at.piece)].Size());
    }
    --at.index;
    return true;
}

std::ptrdiff_t after(std::ptrdiff_t end) { return std::max<std::ptrdiff_t>(0, end + 1); }

} // namespace

// ---- CompactText ----

CompactText::CompactText(const HeldPieces& pieces, size_t offset)
    : m_pieces(pieces)
    , m_offset(offset)
{
    if (pieces.empty())
        return;
    const DataPiece& newest = pieces.back();
    m_offset = std::min(offset, newest.Size());
    m_raw = newest.Data() + m_offset;
    m_rawSize = newest.Size() - m_offset;
}

std::string CompactText::Text() const
{
    std::string out;
    for (size_t i = 0; i < m_rawSize; ++i)
        if (!ContentMatcher::IsWhite(m_raw[i]))
            out.push_back(m_raw[i]);
    return out;
}

std::ptrdiff_t CompactText::Position(std::ptrdiff_t n) const
{
    const auto offset = static_cast<std::ptrdiff_t>(m_offset);
    if (n >= 0) {
        for (size_t i = 0; i < m_rawSize; ++i)
            if (!ContentMatcher::IsWhite(m_raw[i]) && n-- == 0)
                return offset + static_cast<std::ptrdiff_t>(i);
        return offset + static_cast<std::ptrdiff_t>(m_rawSize);
    }
    // The last non-white byte before the offset; when none is held any more, the
    // position just before the oldest held byte.
    std::ptrdiff_t position = offset;
    if (m_pieces.empty())
        return position - 1;
    HeldByte at{static_cast<std::ptrdiff_t>(m_pieces.size()) - 1, offset};
    while (stepBack(m_pieces, at)) {
        --position;
        if (!ContentMatcher::IsWhite(m_pieces[static_cast<size_t>(at.piece)].Data()[at.index]))
            return position;
    }
    return position - 1;
}

// ---- MatchRecorder ----

void MatchRecorder::Add(PhraseMatch match)
{
    ++m_count;
    if (m_matches.size() < kMaxKept)
        m_matches.push_back(std::move(match));
}

void MatchRecorder::Clear()
{
    m_matches.clear();
    m_count = 0;
}

// ---- PhraseFilter ----

MatchRecorder& PhraseFilter::EnableRecorder()
{
    if (!m_recorder)
        m_recorder = std::make_unique<MatchRecorder>();
    return *m_recorder;
}

bool PhraseFilter::Write(HeldPieces& pieces)
{
    scanNewest(pieces);
    return false;
}

bool PhraseFilter::SkipNewest(const HeldPieces& pieces)
{
    if (!m_matcher || pieces.empty())
        return true;
    const DataPiece& newest = pieces.back();
    if (!m_matcher->StateAfter(newest.Data(), newest.Size(), m_state))
        return false;
    enterNewest(newest.Size());
    noteKeyBytes(newest.Data(), 0, newest.Size());
    return true;
}

void PhraseFilter::enterNewest(size_t size)
{
    m_newestStart += static_cast<long long>(m_newestSize);
    m_newestSize = size;
}

void PhraseFilter::noteKeyBytes(const char* bytes, size_t from, size_t to)
{
    for (size_t i = to; i > from; --i)
        if (!ContentMatcher::IsWhite(bytes[i - 1])) {
            m_lastKeyByte = m_newestStart + static_cast<long long>(i - 1);
            return;
        }
}

void PhraseFilter::scanNewest(HeldPieces& pieces)
{
    if (!m_matcher || pieces.empty())
        return;
    const DataPiece& newest = pieces.back();
    enterNewest(newest.Size());
    // Each round either moves past a byte or lowers the state's depth at the same
    // byte, so this bound is never reached; it only keeps the loop finite by sight.
    const size_t rounds = 2 * newest.Size() + m_matcher->MaxKeyLength() + 2;
    size_t offset = 0;
    for (size_t round = 0; round < rounds && offset < newest.Size(); ++round) {
        const CompactText text(pieces, offset);
        MatchResult r;
        const bool found = m_matcher->ScanCompact(m_state, text.Raw(), text.RawSize(), r);
        m_state = r.state;
        if (!found) {
            noteKeyBytes(newest.Data(), offset, newest.Size());
            return;
        }
        ++m_matchCount;
        // A key reported late ended at the last key byte scanned before this round.
        const std::ptrdiff_t end = r.end >= 0 ? static_cast<std::ptrdiff_t>(offset) + r.end
                                              : static_cast<std::ptrdiff_t>(m_lastKeyByte - m_newestStart);
        m_lastKeyByte = m_newestStart + end;
        m_lastEnd = end;
        m_lastLength = r.length;
        m_lastNumber = r.keyNumber;
        if (m_recorder)
            m_recorder->Add({std::string(m_matcher->KeyText(r.state)), r.keyNumber, end, r.length});
        const std::ptrdiff_t next = OnMatch(pieces, end, r.length);
        if (next < 0)
            return;
        offset = static_cast<size_t>(next);
    }
}

// ---- BlockFilter ----

bool BlockFilter::Write(HeldPieces& pieces)
{
    if (m_blocked) {
        if (!pieces.empty())
            pieces.back().Clear();
        return true;
    }
    scanNewest(pieces);
    return m_blocked;
}

std::ptrdiff_t BlockFilter::OnMatch(HeldPieces& pieces, std::ptrdiff_t end, uint32_t)
{
    if (!m_blocking)
        return after(end);
    m_blocked = true;
    for (DataPiece& piece : pieces)
        piece.Clear();
    return -1;
}

// ---- ReplaceFilter ----

std::ptrdiff_t ReplaceFilter::OnMatch(HeldPieces& pieces, std::ptrdiff_t end, uint32_t length)
{
    // A phrase found after another one shares with it at most the bytes up to its
    // end, and those are blank already: the walk stops there rather than count the
    // blanks as white and go on over bytes outside the phrase.
    const auto blanked = static_cast<std::ptrdiff_t>(m_blankedTo - NewestStart());
    HeldByte at = locate(pieces, end + 1); // one past the match, then step onto it
    std::ptrdiff_t position = end + 1;
    uint32_t covered = 0;
    if (at.piece >= 0) {
        while (covered < length && --position > blanked && stepBack(pieces, at)) {
            char& b = pieces[static_cast<size_t>(at.piece)].Data()[at.index];
            if (!ContentMatcher::IsWhite(b))
                ++covered;
            b = ' ';
        }
    }
    m_blankedTo = std::max(m_blankedTo, NewestStart() + end);
    return after(end);
}
