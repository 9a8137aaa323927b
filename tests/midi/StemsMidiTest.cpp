// Stems end to end, driven the way the application drives them: a controller note mapped to
// `stems` (through a real JACK MIDI port and the MIDI hub) switches stems on for a playing deck,
// the refresh loop asks the loader for the stem job, the stems land while the deck plays into the
// PulseAudio null sink, and a second note mapped to the drums stem kills the click track, which
// leaves the recording while the tone stays.

#include "MidiBindings.h"
#include "audio/AudioDeviceFactory.h"
#include "common/MidiPeer.h"
#include "common/SinkRecorder.h"
#include "common/TestPaths.h"
#include "common/ToneMeasure.h"
#include "common/WavFiles.h"
#include "control/midi/MidiHub.h"
#include "control/midi/MidiInputPorts.h"
#include "control/midi/MidiRouter.h"
#include "control/midi/RtMidiBackend.h"
#include "engine/EngineHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

namespace vyn {
namespace {

using namespace std::chrono_literals;

constexpr double kRate = 48000.0;
constexpr double kToneHz = 330.0;

// Clicks (3 ms noise bursts twice a second) over a steady centred tone.
std::vector<std::int16_t> clicksOverTone(double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * kRate);
    std::vector<std::int16_t> pcm(2 * frames);
    std::uint32_t noise = 5;
    for (std::size_t i = 0; i < frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const bool click = i % 24000 < 144;
        const double v = 6000.0 * std::sin(2 * std::numbers::pi * kToneHz * i / kRate) +
                         (click ? (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) * 16000 : 0);
        pcm[2 * i] = pcm[2 * i + 1] = static_cast<std::int16_t>(v);
    }
    return pcm;
}

// What a stretch of the recording holds, counted over 100 ms windows of its sounding stretches
// (test::soundingStretches): on a busy machine the output may drop out now and then.
struct Heard {
    int windows = 0;         // sounding windows
    double tone = 0.0;       // median level of the tone in them
    double clickSteps = 0.0; // per window: steps no tone or dropout edge makes, only clicks
};

Heard listen(const std::vector<float>& stereo) {
    constexpr std::size_t kWindow = 4800;
    Heard h;
    std::vector<double> tones;
    long steps = 0;
    for (const std::vector<float>& stretch : test::soundingStretches(stereo, 2, 0, 0.1)) {
        for (std::size_t at = 0; at + 2 * kWindow <= stretch.size(); at += 2 * kWindow) {
            const float* w = stretch.data() + at;
            tones.push_back(test::toneLevel(w, kWindow, 2, 0, kRate, kToneHz));
            // The tone steps at most 0.008 from sample to sample, a dropout's edge 0.19.
            for (std::size_t i = 1; i < kWindow; ++i)
                if (std::fabs(w[2 * i] - w[2 * i - 2]) > 0.3f) ++steps;
        }
    }
    h.windows = static_cast<int>(tones.size());
    if (tones.empty()) return h;
    std::nth_element(tones.begin(), tones.begin() + tones.size() / 2, tones.end());
    h.tone = tones[tones.size() / 2];
    h.clickSteps = static_cast<double>(steps) / h.windows;
    return h;
}

MidiBinding noteBinding(int note, MidiAction action) {
    return test::binding(midi_class::note, note, action, 0, MidiMode::toggle);
}

TEST(StemsEndToEnd, ControllerSwitchesStemsOnThenKillsTheDrums) {
    VYN_REQUIRE_TEST_SERVICES();
    const std::string dir = test::scratchDir("stems-e2e");
    const std::vector<std::int16_t> pcm = clicksOverTone(40.0);
    ASSERT_FALSE(test::writeStereoWav(dir + "/clicks.wav", pcm).empty());
    const test::ScopedEnvironment environment{{"PULSE_SINK", "vyn_stereo"}, {"VYN_AUDIO", "alsa"}};
    AudioDeviceChoice choice = createAudioDeviceFromEnvironment();
    ASSERT_TRUE(choice.device) << choice.error;
    auto engine = EngineHost::create(std::move(choice.device));
    ASSERT_TRUE(engine->open()) << engine->device()->lastError();
    TrackLoader& loader = engine->loader();

    MidiRouter router;
    MidiHub hub(router);
    hub.listen(router);
    hub.setEngine(engine.get());
    test::MidiSender controller;
    MidiMapping mapping;
    mapping.bindings = {noteBinding(60, MidiAction::stems), noteBinding(61, MidiAction::stemDrums)};
    hub.installMapping(controller.device(), mapping);
    MidiInputPorts ports(createMidiBackend({MidiApi::Jack, "VYN"}));
    ports.attach(router);
    ASSERT_TRUE(test::waitFor([&] { return test::routerPortOf(router, controller.device()) >= 0; },
                              5000ms, [&] { ports.rescan(); }));
    ASSERT_TRUE(
        test::primeConnection(controller, router, test::routerPortOf(router, controller.device())));

    // The application's refresh: poll the loader, and ask for stems where the snapshot shows
    // them switched on for a track without them.
    std::vector<LoadResult> results;
    EngineSnapshot snap;
    auto refresh = [&] {
        std::vector<LoadResult> some;
        loader.poll(some);
        results.insert(results.end(), some.begin(), some.end());
        if (!engine->readSnapshot(snap)) return;
        const DeckSnapshot& d = snap.decks[0];
        if (d.state != 0 && d.stemsOn && !d.stemsAvailable) loader.requestStems(0);
    };
    ASSERT_TRUE(loader.queueLoad(0, dir + "/clicks.wav"));
    ASSERT_TRUE(test::waitFor([&] { return !results.empty(); }, 10000ms, refresh));
    ASSERT_TRUE(results[0].ok) << results[0].error;
    ASSERT_TRUE(engine->pushOwn(Command(CommandType::PLAY, 0)));
    // One recording throughout: a new stream on an idle null sink may get no callbacks for about
    // two seconds, and a monitor may start with silence.
    test::SinkRecorder recorder("vyn_stereo", 2, dir + "/master.raw");
    ASSERT_TRUE(recorder.running());
    const std::size_t started = recorder.frames();
    ASSERT_TRUE(
        test::waitFor([&] { return recorder.frames() >= started + 3 * 48000; }, 30000ms, refresh));
    ASSERT_TRUE(snap.decks[0].state == static_cast<std::uint8_t>(DeckState::PLAYING));

    controller.send({0x90, 60, 100});
    ASSERT_TRUE(test::waitFor([&] { return snap.decks[0].stemsAvailable; }, 60000ms, refresh))
        << "stems on " << snap.decks[0].stemsOn << ", job " << loader.stemStatus(0).progress << " '"
        << loader.stemStatus(0).error << "'";

    // On a busy machine the stream may underrun and fall silent for two seconds at a time: go on
    // recording until each side of the kill has sounded for two seconds, half a second away
    // from the stems landing and from the kill.
    constexpr std::size_t kMargin = 24000;
    auto soundedFor = [&](std::size_t from, int windows) {
        return test::waitFor([&] { return listen(recorder.read(from)).windows >= windows; },
                             60000ms, refresh);
    };
    const std::size_t landedAt = recorder.frames();
    ASSERT_TRUE(soundedFor(landedAt + kMargin, 20 + kMargin / 4800));
    const std::size_t killedAt = recorder.frames();
    std::vector<float> before = recorder.read(landedAt + kMargin);
    before.resize(std::min(before.size(), 2 * (killedAt - landedAt - 2 * kMargin)));
    controller.send({0x90, 61, 100});
    ASSERT_TRUE(
        test::waitFor([&] { return snap.decks[0].stemGains[0] == 0.0f; }, 20000ms, refresh));
    ASSERT_TRUE(soundedFor(killedAt + kMargin, 20));
    const std::vector<float> after = recorder.read(killedAt + kMargin);
    recorder.stop();
    EXPECT_EQ(snap.decks[0].state, static_cast<std::uint8_t>(DeckState::PLAYING));

    ports.closeAll();
    engine->stop();
    std::vector<LoadedTrack*> retired;
    engine->drainRetired(retired);
    for (LoadedTrack* t : retired)
        EngineHost::destroyTrack(t);

    const Heard withDrums = listen(before);
    const Heard withoutDrums = listen(after);
    ASSERT_GE(withDrums.windows, 15) << "the deck was heard before the kill";
    ASSERT_GE(withoutDrums.windows, 15) << "the deck was heard after the kill";
    EXPECT_NEAR(withoutDrums.tone, withDrums.tone, 0.2 * withDrums.tone)
        << "the tone is not in the drums";
    EXPECT_GT(withDrums.clickSteps, 5.0) << "the clicks were heard";
    EXPECT_LT(withoutDrums.clickSteps, withDrums.clickSteps / 50)
        << "the clicks went with the drums";
}

} // namespace
} // namespace vyn
