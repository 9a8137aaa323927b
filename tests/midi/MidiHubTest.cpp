// The MIDI handler against a real engine: messages become applied commands visible in the
// snapshot, replay ownership and capture, controllers keyed by device, and concurrent use.

#include "control/midi/MidiHub.h"
#include "common/EngineFixture.h"
#include "control/midi/MidiRouter.h"

#include "MidiBindings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace vyn {
namespace {

using test::binding;

class MidiHubTest : public test::EngineFixture {
protected:
    void SetUp() override {
        EngineFixture::SetUp();
        hub.listen(router);
        hub.setEngine(engine.get());
        router.portConnected(0, "Mixer");
        router.portConnected(1, "Player");
    }
    void send(int port, std::vector<std::uint8_t> bytes, std::uint32_t time = 5) {
        router.feed(port, bytes.data(), bytes.size(), time);
    }
    void install(const std::string& device, std::vector<MidiBinding> bindings) {
        MidiMapping m;
        m.bindings = std::move(bindings);
        hub.installMapping(device, m);
    }
    EngineSnapshot renderAndRead() {
        block();
        return snapshot();
    }

    MidiRouter router;
    MidiHub hub{router};
};

TEST_F(MidiHubTest, BoundControlsReachTheEngine) {
    install("Mixer",
            {test::ranged(binding(midi_class::cc, 20, MidiAction::filter, 1, MidiMode::absolute),
                          -1.0, 1.0),
             binding(midi_class::note, 5, MidiAction::quantise, 0, MidiMode::toggle)});

    send(0, {0xF8, 0xFA});
    EXPECT_EQ(hub.lastActiveDevice(), "") << "clock bytes identify no controller";
    send(0, {0xB0, 20, 127, 0x90, 5, 127});
    EXPECT_EQ(hub.lastActiveDevice(), "Mixer");
    EngineSnapshot s = renderAndRead();
    EXPECT_FLOAT_EQ(s.decks[1].filter, 1.0f);
    EXPECT_TRUE(s.quantise);
    // Toggle reads the published state: the second press turns quantise off.
    send(0, {0x90, 5, 127});
    s = renderAndRead();
    EXPECT_FALSE(s.quantise);
    // The same control on the other device is not bound there.
    send(1, {0xB0, 20, 0});
    s = renderAndRead();
    EXPECT_FLOAT_EQ(s.decks[1].filter, 1.0f);
    EXPECT_EQ(hub.lastActiveDevice(), "Player");
    EXPECT_EQ(applied().size(), 3u);
    EXPECT_EQ(hub.droppedCommands(), 0u);
}

TEST_F(MidiHubTest, ReplayOwnershipStopsDispatchButNotCapture) {
    std::vector<std::pair<int, int>> captured;
    hub.setCaptureSink([&](int port, const MidiMessage& m, std::uint32_t time) {
        captured.push_back({port, m.status});
        EXPECT_EQ(time, 5u);
    });
    install("Mixer", {binding(midi_class::note, 5, MidiAction::quantise)});
    hub.setReplayOwnsMix(true);
    send(0, {0x90, 5, 127, 0xF8});
    EXPECT_FALSE(renderAndRead().quantise);
    hub.setReplayOwnsMix(false);
    send(0, {0x90, 5, 127});
    EXPECT_TRUE(renderAndRead().quantise);
    EXPECT_EQ(captured, (std::vector<std::pair<int, int>>{{0, 0x90}, {0, 0xF8}, {0, 0x90}}));
}

TEST_F(MidiHubTest, CommandsWithoutAnEngineAreCountedAsDropped) {
    install("Mixer", {binding(midi_class::note, 5, MidiAction::play)});
    hub.setEngine(nullptr);
    send(0, {0x90, 5, 127});
    EXPECT_EQ(hub.droppedCommands(), 1u);
    hub.setEngine(engine.get());
    send(0, {0x90, 5, 127});
    EXPECT_EQ(hub.droppedCommands(), 1u);
    EXPECT_EQ(applied().size(), 0u);
    renderAndRead();
    // PLAY on an empty deck still counts as applied by the engine.
    EXPECT_EQ(applied().size(), 1u);
}

TEST_F(MidiHubTest, ControllersFollowTheDeviceNameAcrossPorts) {
    install("Player", {binding(midi_class::note, 1, MidiAction::bankUp),
                       binding(midi_class::note, 2, MidiAction::play, 1)});
    send(1, {0x90, 1, 127});
    // The player is replugged and comes back on port 3: its bank is still 1.
    router.portDisconnected(1);
    router.portConnected(3, "Player");
    send(3, {0x90, 2, 127});
    renderAndRead();
    const std::vector<Command> got = applied();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].commandType(), CommandType::PLAY);
    EXPECT_EQ(got[0].deck, 3);
}

TEST_F(MidiHubTest, BrowseEventsQueueForTheBrowser) {
    install("Mixer", {binding(midi_class::note, 1, MidiAction::browseView)});
    hub.setFocusedDeck(6);
    for (int i = 0; i < 1100; ++i)
        send(0, {0x90, 1, 127});
    EXPECT_EQ(hub.droppedBrowseEvents(), 1100u - 1023u);
    MidiBrowseEvent e;
    int n = 0;
    while (hub.popBrowseEvent(e)) {
        EXPECT_EQ(e.kind, midi_browse::view);
        EXPECT_EQ(e.deck, 6);
        ++n;
    }
    EXPECT_EQ(n, 1023);
}

TEST_F(MidiHubTest, DecksInUseAndFocusFollowers) {
    EXPECT_EQ(hub.decksInUse(), 0u);
    MidiMapping four;
    four.channels = 4;
    four.bindings.push_back(binding(midi_class::note, 1, MidiAction::bankUp));
    hub.installMapping("Mixer", four);
    EXPECT_EQ(hub.decksInUse(), 0x0Fu);
    send(0, {0x90, 1, 127});
    EXPECT_EQ(hub.decksInUse(), 0x3Cu) << "bank 1 drives decks 2-5";
    install("Player", {binding(midi_class::note, 1, MidiAction::play, -1)});
    hub.setFocusedDeck(9);
    hub.setFocusedDeck(99); // ignored
    EXPECT_EQ(hub.focusedDeck(), 9);
    EXPECT_EQ(hub.decksInUse(), 0x3Cu | (1u << 9));
    const std::vector<MidiFocusFollower> f = hub.focusFollowers();
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].device, "Player");
    EXPECT_EQ(f[0].deck, 9);
}

// An input thread feeds messages while the user-interface thread drains the monitor rings,
// edits mappings and reads the hub; the audio thread is this test's render loop.
TEST_F(MidiHubTest, InputThreadAgainstUserInterfaceThread) {
    install("Mixer", {binding(midi_class::cc, 7, MidiAction::fader, 0, MidiMode::absolute),
                      binding(midi_class::note, 1, MidiAction::browseView)});
    std::atomic<bool> done{false};
    std::thread input([&] {
        for (int i = 0; i < 4000; ++i) {
            const std::uint8_t bytes[] = {0xB0, 7, static_cast<std::uint8_t>(i & 0x7F),
                                          0x90, 1, 100};
            router.feed(0, bytes, sizeof bytes, static_cast<std::uint32_t>(i + 1));
        }
        done = true;
    });
    std::size_t drained = 0;
    std::size_t browsed = 0;
    MidiRouterEntry entries[64];
    MidiBrowseEvent e;
    while (!done.load()) {
        drained += router.drain(entries, 64);
        while (hub.popBrowseEvent(e))
            ++browsed;
        hub.decksInUse();
        {
            std::lock_guard<std::mutex> lock(hub.mutex());
            if (MidiController* c = hub.findController("Mixer")) c->bank = 0;
        }
        engine->render(master.data(), 64);
        applied();
    }
    input.join();
    for (std::size_t n; (n = router.drain(entries, 64)) > 0;)
        drained += n;
    while (hub.popBrowseEvent(e))
        ++browsed;
    EXPECT_EQ(router.received(0) + router.dropped(0), 8000u);
    EXPECT_EQ(drained, router.received(0));
    EXPECT_EQ(browsed + hub.droppedBrowseEvents(), 4000u);
}

} // namespace
} // namespace vyn
