#include "engine/CommandQueue.h"
#include "common/EngineFixture.h"
#include "common/TestTracks.h"

#include <cmath>
#include <limits>

namespace vyn {
namespace {

using test::EngineFixture;

TEST(CommandQueue, HandsOutEightProducerSlotsThenRefuses) {
    CommandQueue q;
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(q.acquireProducer(), i);
    EXPECT_EQ(q.acquireProducer(), -1);
    EXPECT_FALSE(q.push(-1, Command()));
    EXPECT_FALSE(q.push(8, Command()));
}

TEST(CommandQueue, RefusesThe1024thUndrainedCommand) {
    CommandQueue q;
    const int slot = q.acquireProducer();
    for (int i = 0; i < 1023; ++i)
        ASSERT_TRUE(q.push(slot, Command(CommandType::PLAY, 0)));
    EXPECT_FALSE(q.push(slot, Command(CommandType::PLAY, 0)));
}

TEST(CommandQueue, DrainTakesOnlyWhatEachRingHeldWhenItBegan) {
    // A producer that refills its ring while the drain runs cannot stretch one drain for ever.
    CommandQueue q;
    const int a = q.acquireProducer();
    const int b = q.acquireProducer();
    for (int i = 0; i < 3; ++i)
        q.push(a, Command(CommandType::PLAY, 0, i));
    q.push(b, Command(CommandType::PAUSE, 1));
    int taken = 0;
    const auto refill = [&](const Command& c) {
        ++taken;
        if (taken < 5000) q.push(c.deck == 0 ? a : b, c);
    };
    q.drain(refill);
    EXPECT_EQ(taken, 4);
    q.drain(refill);
    EXPECT_EQ(taken, 8) << "what arrived during the first drain waits for the next";
}

using Drain = EngineFixture;

TEST_F(Drain, AppliesOneProducersCommandsInOrder) {
    for (int v = 1; v <= 5; ++v)
        push(CommandType::SET_MASTER_GAIN, -1, v);
    block();
    const auto a = applied();
    ASSERT_EQ(a.size(), 5u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(a[i].value, i + 1);
}

TEST_F(Drain, AppliesRingsInRingOrder) {
    // Ring 0 is the loader's, ring 1 the engine's own; two more producers take 2 and 3.
    const int p2 = engine->acquireProducer();
    const int p3 = engine->acquireProducer();
    engine->push(p3, Command(CommandType::SET_MASTER_GAIN, -1, 3));
    engine->push(p2, Command(CommandType::SET_MASTER_GAIN, -1, 2));
    push(CommandType::SET_MASTER_GAIN, -1, 1);
    block();
    const auto a = applied();
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[0].value, 1);
    EXPECT_EQ(a[1].value, 2);
    EXPECT_EQ(a[2].value, 3);
}

TEST_F(Drain, CoalescesPlayheadMovesAroundOtherCommands) {
    load(0, test::makeTrack(std::vector<float>(480000, 0.0f), 48000.0));
    block();
    applied();
    for (int i = 1; i <= 5; ++i)
        push(CommandType::SET_PLAYHEAD, 0, i * 1000.0);
    push(CommandType::PLAY, 0);
    for (int i = 6; i <= 10; ++i)
        push(CommandType::SET_PLAYHEAD, 0, i * 1000.0);
    block();
    const auto a = applied();
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[0].commandType(), CommandType::SET_PLAYHEAD);
    EXPECT_EQ(a[0].value, 5000.0);
    EXPECT_EQ(a[1].commandType(), CommandType::PLAY);
    EXPECT_EQ(a[2].commandType(), CommandType::SET_PLAYHEAD);
    EXPECT_EQ(a[2].value, 10000.0);
}

TEST_F(Drain, TenMovesInOneBlockLandOnTheLast) {
    load(2, test::makeTrack(std::vector<float>(480000, 0.0f), 48000.0));
    block();
    applied();
    for (int i = 1; i <= 10; ++i)
        push(CommandType::SET_PLAYHEAD, 2, i * 777.0);
    block();
    const auto a = applied();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].value, 7770.0);
    EXPECT_EQ(snapshot().decks[2].position, 7770.0);
}

using Handlers = EngineFixture;

TEST_F(Handlers, ClampAndValidateValues) {
    load(0, test::makeTrack(std::vector<float>(48000, 0.0f), 48000.0));
    push(CommandType::SET_BEAT_JUMP_BEATS, -1, 12);
    block();
    EXPECT_EQ(snapshot().beatJumpBeats, 16u);
    push(CommandType::SET_BEAT_JUMP_BEATS, -1, 31.6);
    push(CommandType::SET_RATE, 0, 5.0);
    push(CommandType::SET_KEY_SHIFT, 0, 9);
    push(CommandType::SET_FX_TYPE, -1, 3.9);
    push(CommandType::SET_FX_TYPE, -1, 16);
    push(CommandType::SET_FX_TARGET, -1, 20);
    push(CommandType::SET_FILTER, 0, -7);
    block();
    const EngineSnapshot s = snapshot();
    EXPECT_EQ(s.beatJumpBeats, 32u);
    EXPECT_EQ(s.decks[0].rate, 4.0);
    EXPECT_EQ(s.decks[0].keyShift, 6);
    EXPECT_EQ(s.fxType, 3u);
    EXPECT_EQ(s.fxTarget, -2);
    EXPECT_EQ(s.decks[0].filter, -1.0f);
    push(CommandType::SET_FX_TARGET, -1, -1.7);
    block();
    EXPECT_EQ(snapshot().fxTarget, -1);
    push(CommandType::CLEAR_FX_TARGET, -1);
    block();
    EXPECT_EQ(snapshot().fxTarget, -2);
}

TEST_F(Handlers, DropsNonFiniteNumbersButReadsNanSwitchesAsOn) {
    load(0, test::makeTrack(std::vector<float>(48000, 0.0f), 48000.0));
    block();
    applied();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    push(CommandType::SET_RATE, 0, 1.5);
    push(CommandType::SET_RATE, 0, nan);
    push(CommandType::SET_PLAYHEAD, 0, std::numeric_limits<double>::infinity());
    push(CommandType::SET_KEYLOCK, 0, nan);
    block();
    const auto a = applied();
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].commandType(), CommandType::SET_RATE);
    EXPECT_EQ(a[1].commandType(), CommandType::SET_KEYLOCK);
    const EngineSnapshot s = snapshot();
    EXPECT_EQ(s.decks[0].rate, 1.5);
    EXPECT_EQ(s.decks[0].position, 0.0);
    EXPECT_TRUE(s.decks[0].keylock);
}

TEST_F(Handlers, DropsLoadsWithoutATrackAndOutOfRangeDecks) {
    push(CommandType::LOAD_TRACK, 0);
    push(CommandType::REPLACE_TRACK, 0);
    push(CommandType::PLAY, 16);
    push(CommandType::PLAY, -1);
    block();
    EXPECT_TRUE(applied().empty());
    EXPECT_EQ(snapshot().loadedDecks, 0u);
}

TEST_F(Handlers, MisaddressedLoadRetiresItsTrack) {
    load(20, test::makeTrack(std::vector<float>(10, 0.0f), 48000.0));
    block();
    std::vector<LoadedTrack*> retired;
    engine->drainRetired(retired);
    ASSERT_EQ(retired.size(), 1u);
    EngineHost::destroyTrack(retired[0]);
}

TEST_F(Handlers, LoadReplacingATrackRetiresTheOldOne) {
    LoadedTrack* first = test::makeTrack(std::vector<float>(100, 0.0f), 48000.0);
    load(1, first);
    block();
    EXPECT_EQ(snapshot().decks[1].state, static_cast<int>(DeckState::READY));
    load(1, test::makeTrack(std::vector<float>(200, 0.0f), 48000.0));
    push(CommandType::UNLOAD, 3); // empty deck: nothing to retire
    block();
    std::vector<LoadedTrack*> retired;
    engine->drainRetired(retired);
    ASSERT_EQ(retired.size(), 1u);
    EXPECT_EQ(retired[0], first);
    EngineHost::destroyTrack(retired[0]);
    EXPECT_EQ(snapshot().decks[1].length, 200u);
}

TEST_F(Handlers, SwapDecksExchangesStateAndSync) {
    load(0, test::makeTrack(std::vector<float>(100, 0.0f), 48000.0));
    load(1, test::makeTrack(std::vector<float>(300, 0.0f), 48000.0));
    push(CommandType::SET_SYNC, 0, 1);
    push(CommandType::SWAP_DECKS, 0, 1.4);
    block();
    EngineSnapshot s = snapshot();
    EXPECT_EQ(s.decks[0].length, 300u);
    EXPECT_EQ(s.decks[1].length, 100u);
    EXPECT_FALSE(s.decks[0].sync);
    EXPECT_TRUE(s.decks[1].sync);
    push(CommandType::SWAP_DECKS, 0, 0); // same deck: nothing
    push(CommandType::SWAP_DECKS, 0, 16);
    block();
    s = snapshot();
    EXPECT_EQ(s.decks[0].length, 300u);
}

TEST_F(Handlers, SwapMovesFilterFxTargetAndPendingMovesWithTheTrack) {
    load(0, test::makeTrack(std::vector<float>(1000, 0.0f), 48000.0));
    load(1, test::makeTrack(std::vector<float>(300000, 0.0f), 48000.0));
    push(CommandType::SET_FILTER, 0, -0.5);
    push(CommandType::SET_FILTER_RESONANCE, 0, 0.25);
    push(CommandType::SET_FX_TARGET, -1, 0);
    block();
    push(CommandType::SET_PLAYHEAD, 1, 5000.0); // meant for the long track ...
    push(CommandType::SWAP_DECKS, 0, 1);        // ... which this moves to deck 0
    block();
    const EngineSnapshot s = snapshot();
    EXPECT_EQ(s.decks[0].length, 300000u);
    EXPECT_EQ(s.decks[0].position, 5000.0);
    EXPECT_EQ(s.decks[1].position, 0.0);
    EXPECT_EQ(s.decks[1].filter, -0.5f);
    EXPECT_EQ(s.decks[1].filterResonance, 0.25f);
    EXPECT_EQ(s.decks[0].filter, 0.0f);
    EXPECT_EQ(s.fxTarget, 1);
}

} // namespace
} // namespace vyn
