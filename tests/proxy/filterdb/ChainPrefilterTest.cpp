#include "filterdb/ChainPrefilter.h"

#include "filterdb/PhraseFilterChain.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

// What a chain did to a stream: the bytes it passed on, what each filter recorded,
// when it blocked, and where every filter stands.
struct Outcome {
    std::string output;
    std::vector<std::string> matches;
    std::vector<size_t> blockedAt;
    std::vector<MatchState> states;
    bool operator==(const Outcome&) const = default;
};

struct ChainSetup {
    std::vector<ContentMatcher> matchers;
    std::vector<int> kinds; // 0 replace, 1 block, 2 recording block
};

Outcome run(const ChainSetup& setup, const std::vector<std::string>& pieces, bool hold, bool prefiltered)
{
    StringSink sink;
    PhraseFilterChain chain(hold, &sink);
    std::vector<PhraseFilter*> filters;
    std::vector<const ContentMatcher*> matchers;
    for (size_t i = 0; i < setup.matchers.size(); ++i) {
        std::unique_ptr<PhraseFilter> f;
        if (setup.kinds[i] == 0) {
            f = std::make_unique<ReplaceFilter>(&setup.matchers[i]);
        } else {
            auto b = std::make_unique<BlockFilter>(&setup.matchers[i]);
            b->SetBlocking(setup.kinds[i] == 1);
            f = std::move(b);
        }
        f->EnableRecorder();
        filters.push_back(chain.InsertFilter(std::move(f), i));
        matchers.push_back(&setup.matchers[i]);
    }
    if (prefiltered) {
        EXPECT_TRUE(chain.SetPrefilter(std::make_shared<const ChainPrefilter>(matchers)));
    }
    Outcome out;
    for (size_t p = 0; p < pieces.size(); ++p)
        if (chain.Write(pieces[p].data(), pieces[p].size()))
            out.blockedAt.push_back(p);
    chain.Flush();
    out.output = sink.text;
    for (PhraseFilter* f : filters) {
        out.states.push_back(f->State());
        for (const PhraseMatch& m : f->Recorder()->Matches())
            out.matches.push_back(m.phrase + "@" + std::to_string(m.end) + "/" + std::to_string(m.keyNumber));
    }
    return out;
}

// Keys and text from a few letters, so keys overlap, nest and end inside each other,
// white space falls inside phrases, and pieces cut through them everywhere.
TEST(ChainPrefilterTest, ChainActsExactlyAsWithoutIt)
{
    std::mt19937 rng(20261206);
    const std::string keyLetters = "abcAB";
    const std::string textLetters = "abcabcAxyq \n";
    for (int round = 0; round < 5000; ++round) {
        ChainSetup setup;
        const size_t filterCount = 1 + rng() % 20; // past one pass of sixteen
        setup.matchers.reserve(filterCount);
        for (size_t f = 0; f < filterCount; ++f) {
            setup.matchers.emplace_back(rng() % 4 != 0);
            // Now and then every key holds a rare byte, and the filter stays out of the pass.
            const bool rare = rng() % 4 == 0;
            for (unsigned k = 0, n = static_cast<unsigned>(rng() % 6); k < n; ++k) {
                std::string key;
                for (unsigned j = 0, len = 1 + static_cast<unsigned>(rng() % 7); j < len; ++j)
                    key += keyLetters[rng() % keyLetters.size()];
                if (rare)
                    key[rng() % key.size()] = 'q';
                if (rng() % 5 == 0)
                    key.insert(rng() % key.size(), " ");
                setup.matchers.back().AddKey(key, static_cast<uint16_t>(1 + rng() % 9));
            }
            setup.matchers.back().Build();
            // Mostly recording, which keeps the stream going; blocking now and then.
            const auto kind = static_cast<unsigned>(rng() % 10);
            setup.kinds.push_back(kind < 5 ? 0 : kind < 9 ? 2 : 1);
        }
        // Long stretches without a match let the prefilter come back in step; pieces of
        // white space only leave a key's end pending across them.
        std::vector<std::string> pieces;
        for (unsigned p = 0, n = 1 + static_cast<unsigned>(rng() % 12); p < n; ++p) {
            std::string piece;
            const auto mood = static_cast<unsigned>(rng() % 6);
            for (unsigned j = 0, len = static_cast<unsigned>(rng() % 60); j < len; ++j)
                if (mood == 0) // white only: a key ended before it may still be reported late
                    piece += j % 3 ? ' ' : '\n';
                else
                    piece += mood < 3 && rng() % 8 != 0 ? 'x' : textLetters[rng() % textLetters.size()];
            pieces.push_back(piece);
        }
        const bool hold = rng() % 2 == 0;
        const Outcome plain = run(setup, pieces, hold, false);
        const Outcome fast = run(setup, pieces, hold, true);
        ASSERT_EQ(fast, plain) << "round " << round << ", first piece \"" << pieces[0] << "\"";
    }
}

TEST(ChainPrefilterTest, RefusedForOtherMatchersOrAfterTheChainChanges)
{
    ContentMatcher a, b;
    a.AddKey("one", 1);
    b.AddKey("two", 1);
    a.Build();
    b.Build();
    PhraseFilterChain chain(false);
    chain.InsertFilter(std::make_unique<ReplaceFilter>(&a), 0);
    chain.InsertFilter(std::make_unique<ReplaceFilter>(&b), 1);
    EXPECT_FALSE(
        chain.SetPrefilter(std::make_shared<const ChainPrefilter>(std::vector<const ContentMatcher*>{&b, &a})));
    EXPECT_FALSE(chain.SetPrefilter(nullptr));
    EXPECT_TRUE(chain.SetPrefilter(std::make_shared<const ChainPrefilter>(std::vector<const ContentMatcher*>{&a, &b})));
    chain.RemoveFilter(chain.GetFilter(0));
    EXPECT_FALSE(chain.HasPrefilter());
}

// A filter whose keys all hold a rare byte scans alone, so the prefilter always lets
// it; the others are still told only where their keys end.
TEST(ChainPrefilterTest, FiltersSkippingToRareBytesAreAlwaysLetThrough)
{
    ContentMatcher rare, plain;
    rare.AddKey("quiz", 1);
    plain.AddKey("eat", 1);
    rare.Build();
    plain.Build();
    ASSERT_TRUE(rare.SkipsToRareBytes());
    ASSERT_FALSE(plain.SkipsToRareBytes());
    const ChainPrefilter prefilter(std::vector<const ContentMatcher*>{&rare, &plain});
    ASSERT_TRUE(prefilter.Usable());
    EXPECT_EQ(prefilter.MaxKeyLength(), 3u);
    const struct {
        std::string piece;
        std::vector<uint8_t> flags;
    } cases[] = {
        {"nothing here", {ChainPrefilter::kHit, 0}},
        {"xeat", {ChainPrefilter::kHit, ChainPrefilter::kHit | ChainPrefilter::kHitAtEnd}},
        {"e a t quiz x", {ChainPrefilter::kHit, ChainPrefilter::kHit}},
    };
    for (const auto& c : cases) {
        ChainPrefilter::States states = prefilter.StartStates();
        std::vector<uint8_t> flags;
        prefilter.Scan(states, c.piece.data(), c.piece.size(), flags);
        EXPECT_EQ(flags, c.flags) << c.piece;
        EXPECT_TRUE(prefilter.Resync(states, c.piece.data(), c.piece.size(), flags));
        EXPECT_EQ(flags[0], ChainPrefilter::kHit) << c.piece;
    }
}

} // namespace
