#include "common/EngineFixture.h"
#include "common/TestTracks.h"

namespace vyn {
namespace {

class Deferral : public test::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        // Deck 1 holds a track with a 120 BPM grid starting at 0 s: one beat = 24000 frames.
        load(1, test::makeTrack(std::vector<float>(48000 * 60, 0.0f), 48000.0,
                                test::constantGrid(120.0, 0.0, 120)));
        push(CommandType::SET_QUANTISE, -1, 1);
        block();
        applied();
    }
    std::uint8_t state(int deck) { return snapshot().decks[deck].state; }
    static constexpr std::uint8_t kPlaying = static_cast<std::uint8_t>(DeckState::PLAYING);
};

TEST_F(Deferral, PlayWaitsForTheMastersNextWholeBeat) {
    engine->overrideMaster(0, 3.2, 120.0);
    push(CommandType::PLAY, 1);
    block();
    EXPECT_NE(state(1), kPlaying);
    EXPECT_TRUE(applied().empty());
    engine->overrideMaster(0, 3.99, 120.0);
    block();
    EXPECT_NE(state(1), kPlaying);
    engine->overrideMaster(0, 4.0, 120.0);
    block();
    EXPECT_EQ(state(1), kPlaying);
    const auto a = applied();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].commandType(), CommandType::PLAY);
    EXPECT_EQ(snapshot().decks[1].position, 256.0); // started at 0, then played one block
}

TEST_F(Deferral, LateFiringJumpsTheDeckByTheLateness) {
    engine->overrideMaster(0, 7.5, 120.0);
    push(CommandType::PLAY, 1);
    block();
    engine->overrideMaster(0, 8.25, 120.0); // fired a quarter beat late
    block();
    EXPECT_EQ(state(1), kPlaying);
    EXPECT_NEAR(snapshot().decks[1].position, 6000.0 + 256.0, 1e-6); // jump, then one block
}

TEST_F(Deferral, AppliesAtOnceWithoutMasterOrOnTheMasterItself) {
    push(CommandType::PLAY, 1);
    block();
    EXPECT_EQ(state(1), kPlaying);
    push(CommandType::PAUSE, 1);
    engine->overrideMaster(1, 2.5, 120.0);
    push(CommandType::PLAY, 1);
    block();
    EXPECT_EQ(state(1), kPlaying);
}

TEST_F(Deferral, QuantiseOffAppliesAtOnce) {
    push(CommandType::SET_QUANTISE, -1, 0);
    engine->overrideMaster(0, 2.5, 120.0);
    push(CommandType::PLAY, 1);
    block();
    EXPECT_EQ(state(1), kPlaying);
}

TEST_F(Deferral, SeventeenthParkedCommandAppliesAtOnce) {
    engine->overrideMaster(0, 0.5, 120.0);
    for (int i = 0; i < 16; ++i)
        push(CommandType::BEAT_JUMP, 1, 1);
    push(CommandType::PLAY, 1);
    block();
    const auto a = applied();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].commandType(), CommandType::PLAY);
    EXPECT_EQ(state(1), kPlaying);
    engine->overrideMaster(0, 1.0, 120.0);
    block();
    EXPECT_EQ(applied().size(), 16u);
}

TEST_F(Deferral, LosingTheMasterFiresAtOnce) {
    engine->overrideMaster(0, 0.5, 120.0);
    push(CommandType::PLAY, 1);
    block();
    EXPECT_NE(state(1), kPlaying);
    engine->overrideMaster(-1, 0.0, 0.0);
    block();
    EXPECT_EQ(state(1), kPlaying);
}

TEST_F(Deferral, SwapCarriesParkedCommandsWithTheirDeck) {
    engine->overrideMaster(0, 0.5, 120.0);
    push(CommandType::PLAY, 1);
    block();
    push(CommandType::SWAP_DECKS, 1, 2);
    block();
    engine->overrideMaster(0, 1.0, 120.0);
    block();
    const EngineSnapshot s = snapshot();
    EXPECT_EQ(s.decks[2].state, kPlaying);
    EXPECT_EQ(s.decks[1].state, static_cast<std::uint8_t>(DeckState::EMPTY));
}

TEST_F(Deferral, ReleaseBeforeTheParkedJumpFiresFollowsIt) {
    // Slip on, playing from 10 s; a quick tap of hot cue 0 (set at 1 s) while the jump waits.
    push(CommandType::SET_PLAYHEAD, 1, 48000.0);
    push(CommandType::SET_HOT_CUE, 1, 0);
    push(CommandType::SET_PLAYHEAD, 1, 480000.0);
    push(CommandType::SET_SLIP, 1, 1);
    push(CommandType::PLAY, 1);
    block();
    engine->overrideMaster(0, 0.5, 120.0);
    push(CommandType::JUMP_HOT_CUE, 1, 0);
    block();
    push(CommandType::HOT_CUE_UP, 1, 0);
    block();
    engine->overrideMaster(0, 1.0, 120.0);
    block();
    const DeckSnapshot d = snapshot().decks[1];
    EXPECT_EQ(d.state, kPlaying);
    EXPECT_FALSE(d.slipActive) << "the release must end the slip jump";
    EXPECT_NEAR(d.position, 480000.0 + 4 * 256.0, 1.0) << "back where the track would be";
    const auto a = applied();
    ASSERT_GE(a.size(), 2u);
    EXPECT_EQ(a[a.size() - 2].commandType(), CommandType::JUMP_HOT_CUE);
    EXPECT_EQ(a.back().commandType(), CommandType::HOT_CUE_UP);
}

} // namespace
} // namespace vyn
