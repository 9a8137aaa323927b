// The Resolume output against a real OSC receiver (oscdump): what a tick sends for tempo, pause,
// resync, hot cues and dials, as plain messages or bundles, and that a burst of pads loses no
// release.

#include "common/OscDumpPeer.h"
#include "control/osc/ResolumeOutput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <memory>

namespace vyn {
namespace {

class ResolumeOscTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { peer = std::make_unique<test::OscDumpPeer>(); }
    static void TearDownTestSuite() { peer.reset(); }

    void SetUp() override {
        ASSERT_TRUE(peer->started()) << "oscdump did not start";
        peer->clear();
        ASSERT_TRUE(sender.open("localhost", peer->port())) << sender.lastError();
    }
    // Only the given features on.
    void enable(std::initializer_list<bool ResolumeSettings::*> features) {
        settings = ResolumeSettings{false, false, false, false};
        for (bool ResolumeSettings::*f : features)
            settings.*f = true;
        output.setSettings(settings);
    }
    void tick() {
        output.tick(snapshot, [this](Command& c) {
            if (applied.empty()) return false;
            c = applied.front();
            applied.pop_front();
            return true;
        });
    }
    std::vector<std::string> received(std::size_t count) {
        return test::OscDumpPeer::untagged(peer->waitForLines(count));
    }
    DeckSnapshot& playingGridded(int deck, float bpm) {
        DeckSnapshot& d = snapshot.decks[deck];
        d.state = static_cast<std::uint8_t>(DeckState::PLAYING);
        d.hasGrid = true;
        d.bpm = bpm;
        return d;
    }

    static std::unique_ptr<test::OscDumpPeer> peer;
    OscSender sender;
    ResolumeOutput output{sender};
    ResolumeSettings settings;
    EngineSnapshot snapshot;
    std::deque<Command> applied;
};

std::unique_ptr<test::OscDumpPeer> ResolumeOscTest::peer;

TEST_F(ResolumeOscTest, IdleMixPausesOnceAndSendsEveryDialOnceThenOnlyChanges) {
    enable(
        {&ResolumeSettings::pauseOn, &ResolumeSettings::dashboardOn, &ResolumeSettings::tempoOn});
    tick();
    tick();
    const auto first = peer->waitForLines(9);
    ASSERT_EQ(first.size(), 9u) << "pause and eight dials, no tempo, nothing on the second tick";
    EXPECT_EQ(output.sentDatagrams(), 1u) << "one bundle";
    for (const std::string& l : first) // a bundle's messages share its time tag
        EXPECT_EQ(l.substr(0, l.find(' ')), first[0].substr(0, first[0].find(' ')));
    const auto lines = test::OscDumpPeer::untagged(first);
    EXPECT_EQ(lines[0], "/composition/tempocontroller/pause i 1");
    EXPECT_EQ(lines[1], "/composition/dashboard/link1 f 0.000000");
    EXPECT_EQ(lines[8], "/composition/dashboard/link8 f 0.500000");

    peer->clear();
    snapshot.decks[1].filter = 0.001f; // below the dial's step: nothing
    tick();
    snapshot.decks[1].filter = -1.0f;
    tick();
    const auto changed = peer->waitForLines(1);
    ASSERT_EQ(changed.size(), 1u);
    EXPECT_EQ(output.sentDatagrams(), 2u);
    EXPECT_EQ(test::OscDumpPeer::untagged(changed)[0], "/composition/dashboard/link6 f 0.000000");
}

TEST_F(ResolumeOscTest, TempoFollowsTheMixInSteadyStepsAndPauseFollowsPlay) {
    enable({&ResolumeSettings::tempoOn, &ResolumeSettings::pauseOn});
    snapshot.masterBpm = 120.0f;
    playingGridded(0, 120.0f);
    tick();
    for (int i = 1; i <= 10; ++i) {
        snapshot.masterBpm = 120.0f + 0.004f * static_cast<float>(i);
        tick();
    }
    snapshot.decks[0].state = static_cast<std::uint8_t>(DeckState::PAUSED);
    snapshot.masterBpm = 0.0f; // no tempo: nothing sent, the last one stands
    tick();
    const auto lines = received(6);
    EXPECT_EQ(lines,
              (std::vector<std::string>{"/composition/tempocontroller/tempo sf \"a\" 120.000000",
                                        "/composition/tempocontroller/pause i 0",
                                        "/composition/tempocontroller/tempo sf \"a\" 120.012001",
                                        "/composition/tempocontroller/tempo sf \"a\" 120.024002",
                                        "/composition/tempocontroller/tempo sf \"a\" 120.036003",
                                        "/composition/tempocontroller/pause i 1"}));
}

TEST_F(ResolumeOscTest, ResyncOnEveryDownbeatAndOnJumps) {
    enable({&ResolumeSettings::resyncOn, &ResolumeSettings::resyncEveryBar});
    DeckSnapshot& d = playingGridded(0, 128.0f);
    snapshot.masterDeck = 0;
    for (double beat = 0.5; beat < 16.5; beat += 0.25) {
        d.beat = beat;
        d.bar = static_cast<float>(std::fmod(beat, 4.0));
        tick();
    }
    d.beat = 40.0; // a jump
    d.bar = 0.0f;
    tick();
    // The first tick (playing, no earlier state), downbeats 4, 8, 12 and 16, and the jump.
    EXPECT_EQ(received(6), std::vector<std::string>(6, "/composition/tempocontroller/resync i 1"));
}

TEST_F(ResolumeOscTest, HotCuesConnectColumnsOrClipsAndIgnoreBadIndices) {
    enable({&ResolumeSettings::cuesOn});
    applied = {Command(CommandType::JUMP_HOT_CUE, 2, 3.0),
               Command(CommandType::HOT_CUE_UP, 2, 3.0),
               Command(CommandType::JUMP_HOT_CUE, 2, 8.0),
               Command(CommandType::JUMP_HOT_CUE, 2, -0.5),
               Command(CommandType::JUMP_HOT_CUE, 2, std::nan("")),
               Command(CommandType::PLAY, 2, 3.0)};
    tick();
    settings.cueMap = 1;
    output.setSettings(settings);
    applied = {Command(CommandType::JUMP_HOT_CUE, 2, 3.9),
               Command(CommandType::HOT_CUE_UP, 2, 3.0)};
    tick();
    EXPECT_EQ(received(4), (std::vector<std::string>{"/composition/columns/4/connect i 1",
                                                     "/composition/columns/4/connect i 0",
                                                     "/composition/layers/3/clips/4/connect i 1",
                                                     "/composition/layers/3/clips/4/connect i 0"}));
}

TEST_F(ResolumeOscTest, APadBurstLosesNoRelease) {
    // Eight dials share the first tick's 32 messages.
    enable({&ResolumeSettings::cuesOn, &ResolumeSettings::dashboardOn});
    for (int i = 0; i < 120; ++i) {
        applied.push_back(Command(CommandType::JUMP_HOT_CUE, i % 4, i % 8));
        applied.push_back(Command(CommandType::HOT_CUE_UP, i % 4, i % 8));
    }
    int ticks = 0;
    do {
        tick();
        ++ticks;
    } while (output.pendingCues() > 0 && ticks < 100);
    EXPECT_EQ(ticks, 8) << "(8 + 240) messages at 32 a tick";
    const auto lines = received(248);
    std::size_t presses = 0, releases = 0;
    for (const std::string& l : lines) {
        if (l.find("/connect i 1") != std::string::npos) ++presses;
        if (l.find("/connect i 0") != std::string::npos) ++releases;
    }
    EXPECT_EQ(presses, 120u);
    EXPECT_EQ(releases, 120u);
    EXPECT_EQ(sender.droppedDatagrams(), 0u);
}

TEST_F(ResolumeOscTest, ClosedSenderDrainsAndKeepsNothing) {
    enable({&ResolumeSettings::cuesOn});
    sender.close();
    applied = {Command(CommandType::JUMP_HOT_CUE, 0, 1.0)};
    tick();
    EXPECT_TRUE(applied.empty());
    ASSERT_TRUE(sender.open("127.0.0.1", peer->port()));
    tick();
    const OscMessage marker = OscMessage::withInt("/marker", 1);
    sender.send(marker.data(), marker.size());
    EXPECT_EQ(received(1), std::vector<std::string>{"/marker i 1"})
        << "a press from before the start is not sent";
}

} // namespace
} // namespace vyn
