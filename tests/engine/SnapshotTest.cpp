#include "common/EngineFixture.h"
#include "common/TestTracks.h"
#include "engine/SnapshotSlot.h"

#include <atomic>
#include <thread>

namespace vyn {
namespace {

struct Stamped {
    std::uint64_t values[64];
};

TEST(SnapshotSlot, ReaderRacingThePublisherAlwaysGetsAConsistentCopy) {
    SnapshotSlot<Stamped> slot;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        Stamped s{};
        for (std::uint64_t n = 1; n <= 200000; ++n) {
            for (auto& v : s.values)
                v = n;
            slot.publish(s);
        }
        done = true;
    });
    long reads = 0;
    std::uint64_t last = 0;
    while (!done) {
        Stamped s;
        if (!slot.read(s)) continue;
        for (auto v : s.values)
            ASSERT_EQ(v, s.values[0]) << "torn snapshot";
        ASSERT_GE(s.values[0], last) << "snapshot went back in time";
        last = s.values[0];
        ++reads;
    }
    writer.join();
    EXPECT_GT(reads, 0);
}

TEST(SnapshotSlot, GivesUpAfterTheAttemptsAndKeepsTheCallersCopy) {
    SnapshotSlot<Stamped> slot;
    Stamped s{};
    s.values[0] = 42;
    // Zero attempts can never succeed: the caller's copy must stay as it was.
    EXPECT_FALSE(slot.read(s, 0));
    EXPECT_EQ(s.values[0], 42u);
}

using EngineSnapshots = test::EngineFixture;

TEST_F(EngineSnapshots, ReadersOnOtherThreadsSeeWholeBlocks) {
    load(0, test::makeTrack(std::vector<float>(48000, 0.0f), 48000.0));
    block();
    std::atomic<bool> done{false};
    std::thread reader([&] {
        EngineSnapshot s;
        std::uint64_t last = 0;
        while (!done) {
            if (!engine->readSnapshot(s)) continue;
            EXPECT_EQ(s.frame % 64, 0u);
            EXPECT_GE(s.frame, last);
            EXPECT_EQ(s.loadedDecks, 1u);
            last = s.frame;
        }
    });
    for (int i = 0; i < 20000; ++i)
        block(64);
    done = true;
    reader.join();
    EXPECT_EQ(snapshot().frame, 256u + 20000u * 64u);
}

TEST_F(EngineSnapshots, DeckFlagsFollowTheSnapshotFields) {
    DeckSnapshot d;
    EXPECT_EQ(deckFlags(d), 0u);
    d.cue = d.hasGrid = d.stemsOn = true;
    EXPECT_EQ(deckFlags(d), 1u | 4u | 131072u);
    d = DeckSnapshot{};
    d.jogging = d.slipReverse = d.isMaster = true;
    EXPECT_EQ(deckFlags(d), 32768u | 4096u | 16u);
}

TEST_F(EngineSnapshots, EmptyDeckStaysEmptyAndUnmetered) {
    block();
    const EngineSnapshot s = snapshot();
    EXPECT_EQ(s.loadedDecks, 0u);
    for (const DeckSnapshot& d : s.decks) {
        EXPECT_EQ(d.state, 0);
        EXPECT_EQ(d.peakLeft, 0.0f);
        EXPECT_EQ(d.length, 0u);
    }
    EXPECT_EQ(s.masterDeck, -1);
    EXPECT_EQ(s.masterBpm, 0.0f);
}

TEST_F(EngineSnapshots, RenderNeverExceedsTheBlockItWasPreparedFor) {
    engine->prepare(44100.0, 4096); // clamped to 2048
    engine->render(master.data(), 3000);
    EXPECT_EQ(snapshot().frame, 2048u);
    engine->render(master.data(), 0);
    EXPECT_EQ(snapshot().frame, 2048u);
}

} // namespace
} // namespace vyn
