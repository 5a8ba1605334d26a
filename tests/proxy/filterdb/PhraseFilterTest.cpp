#include "filterdb/PhraseFilterChain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecordingSink : public DataSink {
public:
    bool Write(const char* bytes, size_t length) override
    {
        writes.emplace_back(bytes, length);
        return fail;
    }
    bool Flush() override
    {
        ++flushes;
        return false;
    }
    std::string all() const
    {
        std::string out;
        for (const auto& w : writes)
            out += w;
        return out;
    }

    std::vector<std::string> writes;
    int flushes = 0;
    bool fail = false;
};

ContentMatcher matcher(const std::vector<std::pair<std::string, uint16_t>>& keys)
{
    ContentMatcher m(true);
    for (const auto& [k, n] : keys)
        m.AddKey(k, n);
    m.Build();
    return m;
}

void write(PhraseFilterChain& chain, const std::vector<std::string>& pieces)
{
    for (const auto& p : pieces)
        chain.Write(p.data(), p.size());
}

class PhraseFilterTest : public ::testing::Test {
protected:
    ContentMatcher words = matcher({{"bad word", 3}, {"evil", 4}});
    ContentMatcher suffixes = matcher({{"abcd", 1}, {"bc", 2}});
    RecordingSink sink;
};

TEST_F(PhraseFilterTest, ReplaceBlanksThePhraseAndItsInnerWhiteOnly)
{
    PhraseFilterChain chain(false, &sink);
    chain.InsertFilter(std::make_unique<ReplaceFilter>(&words), 0);
    write(chain, {"a Bad\r\n word! so EVIL, evil"});
    EXPECT_EQ(sink.all(), std::string("a ") + std::string(10, ' ') + "! so     ,     ");
}

// A phrase found right after another, or inside it one byte late, is blanked where
// it lies: the blanks of the first are not taken for white space to walk over.
TEST_F(PhraseFilterTest, PhrasesSharingBytesBlankNothingOutsideThem)
{
    const ContentMatcher nested = matcher({{"aaac", 1}, {"aac", 2}, {"c", 3}});
    const ContentMatcher extended = matcher({{"ab", 1}, {"abc", 2}});
    struct Case {
        const ContentMatcher* keys;
        std::vector<std::string> pieces;
        std::vector<std::string> expected;
        std::vector<std::ptrdiff_t> ends; // as found, from the start of the piece in hand
    };
    const Case cases[] = {
        {&nested, {"qbabaaAcb"}, {"qbab    b"}, {7, 7, 7}},
        {&nested, {"qbaa", "Ac", "  ", "b"}, {"qb  ", "  ", "  ", "b"}, {1, -3, -3}},
        {&extended, {"xyabcz"}, {"xy   z"}, {3, 4}},
        {&extended, {"xya", "b", " c z"}, {"xy ", " ", "   z"}, {0, 1}},
    };
    for (const Case& c : cases) {
        RecordingSink out;
        PhraseFilterChain chain(true, &out);
        auto* filter = chain.InsertFilter(std::make_unique<ReplaceFilter>(c.keys), 0);
        filter->EnableRecorder();
        write(chain, c.pieces);
        chain.Flush();
        EXPECT_EQ(out.writes, c.expected) << c.pieces[0];
        std::vector<std::ptrdiff_t> ends;
        for (const PhraseMatch& m : filter->Recorder()->Matches())
            ends.push_back(m.end);
        EXPECT_EQ(ends, c.ends) << c.pieces[0];
    }
}

TEST_F(PhraseFilterTest, SplitPhraseIsBlankedInOlderPiecesOnlyWhileHeld)
{
    struct Case {
        bool hold;
        std::vector<std::string> expected;
    };
    for (const Case& c : {Case{true, {"xx   ", "      yy"}}, Case{false, {"xx ba", "      yy"}}}) {
        RecordingSink out;
        PhraseFilterChain chain(c.hold, &out);
        chain.InsertFilter(std::make_unique<ReplaceFilter>(&words), 0);
        write(chain, {"xx ba", "dword yy"});
        EXPECT_EQ(out.writes.size(), c.hold ? 0u : 2u);
        chain.Flush();
        EXPECT_EQ(out.writes, c.expected) << "hold " << c.hold;
        EXPECT_EQ(out.flushes, 1);
    }
}

TEST_F(PhraseFilterTest, SuffixKeyEndingInAnOlderPieceIsPlacedThere)
{
    for (bool hold : {true, false}) {
        RecordingSink out;
        PhraseFilterChain chain(hold, &out);
        auto* filter = chain.InsertFilter(std::make_unique<ReplaceFilter>(&suffixes), 0);
        filter->EnableRecorder();
        // abc spans two pieces; q breaks it off, which reveals bc ending at the c.
        write(chain, {"xab", "c", " q"});
        chain.Flush();
        ASSERT_EQ(filter->Recorder()->Count(), 1u);
        const PhraseMatch& m = filter->Recorder()->Matches()[0];
        EXPECT_EQ(m.phrase, "bc");
        EXPECT_EQ(m.keyNumber, 2);
        EXPECT_EQ(m.length, 2u);
        if (hold) {
            EXPECT_EQ(m.end, -1);
            EXPECT_EQ(out.writes, (std::vector<std::string>{"xa ", " ", " q"}));
        } else {
            EXPECT_EQ(out.writes, (std::vector<std::string>{"xab", "c", " q"})); // already gone
        }
    }
}

TEST_F(PhraseFilterTest, BlockEmptiesHeldAndLaterPiecesAndSkipsLaterFilters)
{
    for (bool hold : {true, false}) {
        RecordingSink out;
        PhraseFilterChain chain(hold, &out);
        auto* block = static_cast<BlockFilter*>(chain.InsertFilter(std::make_unique<BlockFilter>(&words), 0));
        auto* replace = chain.InsertFilter(std::make_unique<ReplaceFilter>(&words), 1);
        replace->EnableRecorder();
        EXPECT_FALSE(chain.Write("hello ", 6));
        EXPECT_TRUE(chain.Write("an evil page", 12));
        EXPECT_TRUE(block->IsBlocked());
        EXPECT_EQ(block->LastMatchNumber(), 4);
        EXPECT_EQ(block->LastMatchEnd(), 6);
        EXPECT_TRUE(chain.Write("more", 4));
        chain.Flush();
        const std::vector<std::string> expected =
            hold ? std::vector<std::string>{"", "", ""} : std::vector<std::string>{"hello ", "", ""};
        EXPECT_EQ(out.writes, expected) << "hold " << hold;
        EXPECT_TRUE(replace->Recorder()->Empty());
    }
}

TEST_F(PhraseFilterTest, BlockingOffPassesDataAndRecordsEveryMatch)
{
    PhraseFilterChain chain(false, &sink);
    auto block = std::make_unique<BlockFilter>(&words);
    block->SetBlocking(false);
    MatchRecorder& rec = block->EnableRecorder();
    chain.InsertFilter(std::move(block), 0);
    const std::string page = "evil and bad word and EVIL";
    EXPECT_FALSE(chain.Write(page.data(), page.size()));
    EXPECT_EQ(sink.all(), page);
    ASSERT_EQ(rec.Count(), 3u);
    EXPECT_EQ(rec.Matches()[1].phrase, "badword");
    EXPECT_EQ(rec.Matches()[1].end, 16);
}

TEST_F(PhraseFilterTest, RecorderKeepsABoundedNumberOfMatches)
{
    const ContentMatcher a = matcher({{"a", 1}});
    BlockFilter filter(&a);
    filter.SetBlocking(false);
    filter.EnableRecorder();
    HeldPieces held;
    held.emplace_back(std::string(1000, 'a').data(), 1000);
    EXPECT_FALSE(filter.Write(held));
    EXPECT_EQ(filter.Recorder()->Count(), 1000u);
    EXPECT_EQ(filter.Recorder()->Matches().size(), MatchRecorder::kMaxKept);
    filter.Recorder()->Clear();
    EXPECT_TRUE(filter.Recorder()->Empty());
}

TEST_F(PhraseFilterTest, WithoutSinkPiecesWaitUntilOneIsAttached)
{
    PhraseFilterChain chain(false);
    chain.InsertFilter(std::make_unique<ReplaceFilter>(nullptr), 0); // no matcher: never matches
    write(chain, {"one", "two"});
    EXPECT_EQ(chain.Held().size(), 2u);
    EXPECT_FALSE(chain.Flush()); // nowhere to go yet
    EXPECT_EQ(chain.Held().size(), 2u);
    chain.AttachSink(&sink);
    chain.SetHold(true);
    write(chain, {"three"});
    EXPECT_EQ(chain.DetachSink(true), &sink);
    EXPECT_EQ(sink.writes, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(chain.Sink(), nullptr);
}

TEST_F(PhraseFilterTest, SinkFailureIsReported)
{
    sink.fail = true;
    PhraseFilterChain chain(false, &sink);
    write(chain, {"x"});
    EXPECT_TRUE(chain.SinkFailed());
    EXPECT_TRUE(chain.Flush());
}

TEST_F(PhraseFilterTest, FiltersGoInAtTheirPlaceAndComeOutOnce)
{
    PhraseFilterChain chain(false, &sink);
    auto* a = chain.InsertFilter(std::make_unique<BlockFilter>(&words), 0);
    auto* b = chain.InsertFilter(std::make_unique<ReplaceFilter>(&words), 0);
    auto* c = chain.InsertFilter(std::make_unique<ReplaceFilter>(&words), 99);
    EXPECT_EQ(chain.InsertFilter(nullptr, 0), nullptr);
    std::vector<PhraseFilter*> order;
    for (size_t i = 0; i <= 3; ++i)
        order.push_back(chain.GetFilter(i));
    EXPECT_EQ(order, (std::vector<PhraseFilter*>{b, a, c, nullptr}));
    EXPECT_EQ(chain.RemoveFilter(a).get(), a);
    EXPECT_EQ(chain.RemoveFilter(a), nullptr);
    EXPECT_EQ(chain.IndexOfFilter(c), 1);
}

TEST_F(PhraseFilterTest, ResetStateForgetsAPartialPhrase)
{
    ReplaceFilter filter(&words);
    HeldPieces held;
    held.emplace_back("ev", 2);
    filter.Write(held);
    filter.ResetState();
    held.emplace_back("il", 2);
    filter.Write(held);
    EXPECT_EQ(std::string(held.front().Data(), 2) + std::string(held.back().Data(), 2), "evil");
}

TEST(CompactTextTest, MapsPositionsBackAcrossWhiteAndPieces)
{
    HeldPieces held;
    held.emplace_back("ab \r\n", 5);
    held.emplace_back(" x y\tz", 6);
    const CompactText text(held, 1);
    EXPECT_EQ(text.Text(), "xyz");
    EXPECT_EQ(text.RawSize(), 5u);
    EXPECT_EQ(text.Position(0), 1);
    EXPECT_EQ(text.Position(2), 5);
    EXPECT_EQ(text.Position(-1), -4); // the b of the older piece
    const CompactText start(held, 0);
    held.pop_front();
    EXPECT_EQ(start.Position(-1), -1); // nothing held before: just before the oldest byte
}

} // namespace
