#include "engine/CommandQueue.h"
#include "DeckFixture.h"

#include <cmath>
#include <limits>
#include <tuple>

namespace vyn {
namespace {

TEST(CommandQueue, HandsOutEightProducerSlotsAndRefusesThe1024thUndrainedCommand) {
    CommandQueue q;
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(q.acquireProducer(), i);
    EXPECT_EQ(q.acquireProducer(), -1);
    EXPECT_FALSE(q.push(-1, Command()));
    EXPECT_FALSE(q.push(8, Command()));
    for (int i = 0; i < 1023; ++i)
        ASSERT_TRUE(q.push(3, Command(CommandType::PLAY, 0)));
    EXPECT_FALSE(q.push(3, Command(CommandType::PLAY, 0)));
    EXPECT_TRUE(q.push(4, Command(CommandType::PLAY, 0))) << "each producer has its own ring";
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

// What the render block applied, as (type, value) pairs.
using Applied = std::vector<std::pair<CommandType, double>>;
Applied appliedIn(const std::vector<Command>& commands) {
    Applied out;
    for (const Command& c : commands)
        out.emplace_back(c.commandType(), c.value);
    return out;
}

constexpr CommandType kGain = CommandType::SET_MASTER_GAIN;
constexpr CommandType kMove = CommandType::SET_PLAYHEAD;

class Drain : public test::DeckFixture {};

TEST_F(Drain, AppliesEachProducersCommandsInOrderTheRingsInRingOrderAndCoalescesMoves) {
    load(2, silentTrack(480000));
    block();
    applied();
    for (int v = 1; v <= 3; ++v)
        push(kGain, -1, v);
    block();
    EXPECT_EQ(appliedIn(applied()), (Applied{{kGain, 1}, {kGain, 2}, {kGain, 3}}));
    // Ring 0 is the loader's, ring 1 the engine's own; two more producers take 2 and 3.
    const int p2 = engine->acquireProducer();
    const int p3 = engine->acquireProducer();
    engine->push(p3, Command(kGain, -1, 30));
    engine->push(p2, Command(kGain, -1, 20));
    push(kGain, -1, 10);
    block();
    EXPECT_EQ(appliedIn(applied()), (Applied{{kGain, 10}, {kGain, 20}, {kGain, 30}}));
    // Playhead moves coalesce around other commands.
    for (int i = 1; i <= 5; ++i)
        push(kMove, 2, i * 777.0);
    push(CommandType::PLAY, 2);
    for (int i = 6; i <= 10; ++i)
        push(kMove, 2, i * 777.0);
    block();
    EXPECT_EQ(appliedIn(applied()),
              (Applied{{kMove, 3885.0}, {CommandType::PLAY, 0.0}, {kMove, 7770.0}}));
    EXPECT_EQ(snapshot().decks[2].position, 7770.0 + 256.0);
}

class Handlers : public test::DeckFixture {};

// The FX target's range is the FX unit's; clearing it through the engine MixerRender's.
TEST_F(Handlers, BeatJumpSizesRoundToAPowerOfTwo) {
    push(CommandType::SET_BEAT_JUMP_BEATS, -1, 12);
    block();
    EXPECT_EQ(snapshot().beatJumpBeats, 16u);
    push(CommandType::SET_BEAT_JUMP_BEATS, -1, 31.6);
    block();
    EXPECT_EQ(snapshot().beatJumpBeats, 32u);
}

TEST_F(Handlers, DropsNonFiniteNumbersButReadsNanSwitchesAsOn) {
    load(0, silentTrack(48000));
    block();
    applied();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    push(CommandType::SET_RATE, 0, 1.5);
    push(CommandType::SET_RATE, 0, nan);
    push(kMove, 0, std::numeric_limits<double>::infinity());
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

TEST_F(Handlers, DropsLoadsWithoutATrackAndOutOfRangeDecksButRetiresAMisaddressedTrack) {
    push(CommandType::LOAD_TRACK, 0);
    push(CommandType::REPLACE_TRACK, 0);
    push(CommandType::PLAY, 16);
    push(CommandType::PLAY, -1);
    LoadedTrack* misaddressed = silentTrack(10);
    load(20, misaddressed);
    block();
    EXPECT_TRUE(applied().empty());
    EXPECT_EQ(snapshot().loadedDecks, 0u);
    push(CommandType::UNLOAD, 3); // an empty deck: nothing to retire
    block();
    EXPECT_EQ(retired(), std::vector<LoadedTrack*>{misaddressed});
}

TEST_F(Handlers, SwapExchangesTheDecksWithTheirSyncFilterFxTargetAndPendingMoves) {
    load(0, silentTrack(1000));
    load(1, silentTrack(300000));
    push(CommandType::SET_SYNC, 0, 1);
    push(CommandType::SET_FILTER, 0, -0.5);
    push(CommandType::SET_FILTER_RESONANCE, 0, 0.25);
    push(CommandType::SET_FX_TARGET, -1, 0);
    block();
    push(kMove, 1, 5000.0);                // meant for the long track ...
    push(CommandType::SWAP_DECKS, 0, 1.4); // ... which this moves to deck 0
    block();
    const auto [d0, d1] = std::pair(snapshot().decks[0], snapshot().decks[1]);
    EXPECT_EQ(std::tuple(d0.length, d0.position, d0.sync, d0.filter),
              std::tuple(300000u, 5000.0, false, 0.0f));
    EXPECT_EQ(std::tuple(d1.position, d1.sync, d1.filter, d1.filterResonance),
              std::tuple(0.0, true, -0.5f, 0.25f));
    EXPECT_EQ(snapshot().fxTarget, 1);
    push(CommandType::SWAP_DECKS, 0, 0); // same deck: nothing
    push(CommandType::SWAP_DECKS, 0, 16);
    block();
    EXPECT_EQ(snapshot().decks[0].length, 300000u);
}

} // namespace
} // namespace vyn
