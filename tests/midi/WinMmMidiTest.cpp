// The WinMM backend. Its input callback is driven directly with the packed short messages WinMM
// hands it: wine offers no MIDI devices on a machine without a sequencer, so device opening is
// only compiled here, not exercised.

#include "common/RealtimeGuard.h"
#include "control/midi/MidiInputPorts.h"
#include "control/midi/MidiInputPump.h"
#include "control/midi/MidiRouter.h"
#include "control/midi/WinMmMidiBackend.h"
#include "support/RealtimeScope.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace vyn {
namespace {

std::vector<MidiRouterEntry> drainAtLeast(MidiRouter& router, std::size_t count) {
    std::vector<MidiRouterEntry> got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        MidiRouterEntry batch[16];
        const std::size_t n = router.drain(batch, 16);
        got.insert(got.end(), batch, batch + n);
        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return got;
}

TEST(WinMmInputCallback, PackedMessagesReachTheRouterWithoutLockingOrAllocating) {
    MidiRouter router;
    ASSERT_TRUE(router.portConnected(3, "DDJ"));
    MidiInputPump pump;
    PumpSource source;
    source.router = &router;
    source.port = 3;
    source.pump = &pump;
    source.epoch = std::chrono::steady_clock::now();
    pump.add(&source);

    // status | data1 << 8 | data2 << 16, as WinMM packs MIM_DATA. A program change carries one
    // data byte: whatever sits in the third byte must not start another message. A data-only
    // word continues the running status.
    const std::uint32_t packed[] = {0x643C90, 0x7F05C0, 0xF8, 0x4007B1, 0x000A01};
    test::resetRealtimeViolations();
    {
        realtime::AudioThreadScope callbackThread;
        for (std::uint32_t p : packed)
            WinMmMidiBackend::deliverShortMessage(source, p);
    }
    EXPECT_TRUE(test::noRealtimeViolations());

    const std::vector<MidiRouterEntry> got = drainAtLeast(router, 5);
    pump.remove(&source);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[1].message.data2, 0) << "a program change carries one data byte";
    std::vector<std::string> texts;
    for (const MidiRouterEntry& e : got) {
        EXPECT_EQ(e.port, 3);
        EXPECT_NE(e.time, 0u) << "0 means no time";
        texts.push_back(formatMidiMessage(e.message));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"ch1   note on    note  60  vel 100",
                                               "ch1   program    val    5", "--    clock     ",
                                               "ch2   cc         num    7  val  64",
                                               "ch2   cc         num    1  val  10"}));
    EXPECT_EQ(source.lost.load(), 0u);
}

TEST(WinMmBackend, ListsWhatWineOffersAndOpensNothingWithoutDevices) {
    auto backend = std::make_unique<WinMmMidiBackend>();
    EXPECT_STREQ(backend->apiName(), "WinMM");
    const auto inputs = backend->listInputs();
    for (const MidiOutputInfo& out : backend->listOutputs())
        EXPECT_FALSE(out.name.empty());
    MidiRouter router;
    MidiInputPorts ports(std::move(backend));
    ports.attach(router);
    // Every listed input takes a port (wine's inputs, if any, open like a real device's).
    EXPECT_EQ(ports.openCount(), static_cast<int>(std::min<std::size_t>(inputs.size(), 8)));
    ports.closeAll();
    EXPECT_EQ(ports.openCount(), 0);
}

} // namespace
} // namespace vyn
