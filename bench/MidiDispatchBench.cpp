// Dispatch of one MIDI message through a controller mapping of 500 bindings. The reference is
// the same message through a mapping of one binding, in the same run.

#include "control/midi/MidiDispatcher.h"
#include "control/midi/MidiHub.h"
#include "control/midi/MidiRouter.h"
#include "engine/EngineHost.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace vyn;

MidiMapping mappingOf(int count) {
    MidiMapping m;
    for (int i = 0; i < count; ++i) {
        MidiBinding b;
        b.port = -1;
        b.kind = (i % 2) ? midi_class::cc : midi_class::note;
        b.channel = static_cast<std::uint8_t>((i / 125) % 16);
        b.number = static_cast<std::uint8_t>(i % 125);
        b.action = static_cast<std::uint16_t>(MidiAction::fader);
        b.slot = i % 4;
        b.mode = static_cast<std::uint8_t>(MidiMode::absolute);
        m.bindings.push_back(b);
    }
    return m;
}

// The message answered by the last binding of the mapping: the whole list is scanned.
MidiMessage lastMessage(int count) {
    const int i = count - 1;
    const std::uint8_t status =
        static_cast<std::uint8_t>(((i % 2) ? 0xB0 : 0x90) | ((i / 125) % 16));
    return MidiMessage::fromBytes(status, static_cast<std::uint8_t>(i % 125), 100);
}

void dispatchThrough(benchmark::State& state, int count, std::uint8_t heldModifiers) {
    MidiSurfaceState surface;
    MidiController controller(surface);
    controller.installMapping(mappingOf(count));
    controller.heldModifiers = heldModifiers;
    EngineSnapshot snapshot;
    const MidiMessage message = lastMessage(count);
    Command out[4];
    MidiBrowseEvent browse;
    for (auto _ : state) {
        const int n = dispatchMidi(controller, 0, message, snapshot, out, 4, browse, 1);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(out[0]);
    }
}

void BM_Dispatch_1Binding(benchmark::State& state) {
    dispatchThrough(state, 1, 0);
}
void BM_Dispatch_500Bindings(benchmark::State& state) {
    dispatchThrough(state, 500, 0);
}
// A held modifier makes the dispatcher look for modifier bindings first: two scans.
void BM_Dispatch_500Bindings_ModifierHeld(benchmark::State& state) {
    dispatchThrough(state, 500, 1);
}

// The whole handler: MIDI mutex, snapshot copy, controller lookup, dispatch and the push into
// the engine's command ring (drained outside the timing).
void BM_HubHandleMessage_500Bindings(benchmark::State& state) {
    auto engine = EngineHost::create(nullptr);
    engine->prepare(48000.0, 256);
    std::vector<float> master(512);
    MidiRouter router;
    router.portConnected(0, "Bench controller");
    MidiHub hub(router);
    hub.setEngine(engine.get());
    hub.installMapping("Bench controller", mappingOf(500));
    const MidiMessage message = lastMessage(500);
    int sinceDrain = 0;
    for (auto _ : state) {
        hub.handleMessage(0, message, 1);
        if (++sinceDrain == 512) {
            state.PauseTiming();
            engine->render(master.data(), 64);
            Command c;
            while (engine->popApplied(c)) {
            }
            sinceDrain = 0;
            state.ResumeTiming();
        }
    }
    state.counters["dropped"] = static_cast<double>(hub.droppedCommands());
}

BENCHMARK(BM_Dispatch_1Binding);
BENCHMARK(BM_Dispatch_500Bindings);
BENCHMARK(BM_Dispatch_500Bindings_ModifierHeld);
BENCHMARK(BM_HubHandleMessage_500Bindings);

} // namespace

BENCHMARK_MAIN();
