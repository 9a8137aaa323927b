// Key lock's cost per deck at 48 kHz in 256-frame blocks, as a share of one core, for each
// stretcher (quality 0 WSOLA, 1 phase vocoder): the stretcher alone at ratio 1.06, one deck
// key-locked at 1.06 (reading the track included), and sixteen key-locked decks through the
// engine's render block. Goal for the phase vocoder: at most 1 % of a core per deck, sixteen
// decks within 16 %.

#include "audio/Int16Source.h"
#include "dsp/PhaseVocoderStretcher.h"
#include "dsp/WsolaStretcher.h"
#include "engine/Deck.h"
#include "engine/EngineHost.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using namespace vyn;

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;

// Music-like material: a bass, a moving tone and a high partial over noise, slightly different
// in each channel.
std::vector<float> material(std::size_t frames) {
    std::vector<float> s(2 * frames);
    std::uint32_t x = 7;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        x = x * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(x >> 8) / 16777216.0 - 0.5) * 0.1;
        const double v = 0.3 * std::sin(2 * M_PI * 55.0 * t) +
                         0.2 * std::sin(2 * M_PI * (440.0 + 20.0 * std::sin(t)) * t) +
                         0.1 * std::sin(2 * M_PI * 1760.0 * t) + noise;
        s[2 * i] = static_cast<float>(v);
        s[2 * i + 1] = static_cast<float>(v * 0.9);
    }
    return s;
}

LoadedTrack* makeTrack(const std::vector<float>& stereo) {
    DecodeResult decoded;
    decoded.samples.resize(stereo.size());
    for (std::size_t i = 0; i < stereo.size(); ++i)
        decoded.samples[i] = static_cast<std::int16_t>(stereo[i] * 32767.0f);
    decoded.sampleRate = kRate;
    decoded.frames = stereo.size() / 2;
    decoded.ok = true;
    auto* track = new LoadedTrack;
    track->source = std::make_unique<Int16Source>(std::move(decoded));
    return track;
}

// Share of one core: CPU time per block over the block's duration.
void reportCorePercent(benchmark::State& state, long blocks, int decks = 1) {
    state.counters["core_percent"] =
        benchmark::Counter(static_cast<double>(blocks) * kBlock / kRate / 100.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["core_percent_per_deck"] =
        benchmark::Counter(static_cast<double>(blocks) * kBlock * decks / kRate / 100.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void StretcherAlone(benchmark::State& state) {
    const std::vector<float> input = material(static_cast<std::size_t>(70 * kRate));
    std::unique_ptr<ITimeStretcher> s;
    if (state.range(0) == 1)
        s = std::make_unique<PhaseVocoderStretcher>();
    else
        s = std::make_unique<WsolaStretcher>();
    s->prepare(kRate, kBlock, 0);
    s->setRatio(1.06);
    std::vector<float> out(2 * kBlock);
    std::size_t used = 0;
    long blocks = 0;
    for (auto _ : state) {
        const int m = s->inputFramesFor(kBlock);
        if (used + static_cast<std::size_t>(m) > input.size() / 2) {
            s->reset();
            used = 0;
        }
        s->process(input.data() + 2 * used, m, out.data(), kBlock);
        used += static_cast<std::size_t>(m);
        benchmark::DoNotOptimize(out.data());
        ++blocks;
    }
    reportCorePercent(state, blocks);
    state.SetLabel(state.range(0) == 1 ? "phase vocoder" : "wsola");
}
BENCHMARK(StretcherAlone)->ArgName("quality")->Arg(0)->Arg(1);

void OneKeyLockedDeck(benchmark::State& state) {
    Deck deck;
    deck.prepare(kRate, kBlock, 0);
    SoundOptions options;
    options.keylockQuality = static_cast<int>(state.range(0));
    deck.setSoundOptions(options);
    Command load(CommandType::LOAD_TRACK, 0);
    load.track = makeTrack(material(static_cast<std::size_t>(40 * kRate)));
    deck.apply(load);
    deck.apply(Command(CommandType::SET_KEYLOCK, 0, 1.0));
    deck.apply(Command(CommandType::SET_RATE, 0, 1.06));
    deck.apply(Command(CommandType::PLAY, 0));
    deck.beatLoop(60.0, false); // 30 s at the 120 BPM used without a grid
    std::vector<float> out(2 * kBlock);
    long blocks = 0;
    for (auto _ : state) {
        deck.render(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        ++blocks;
    }
    reportCorePercent(state, blocks);
    state.SetLabel(state.range(0) == 1 ? "phase vocoder" : "wsola");
}
BENCHMARK(OneKeyLockedDeck)->ArgName("quality")->Arg(0)->Arg(1);

void SixteenKeyLockedDecksThroughTheEngine(benchmark::State& state) {
    const std::vector<float> samples = material(static_cast<std::size_t>(40 * kRate));
    auto engine = EngineHost::create(nullptr);
    engine->prepare(kRate, kBlock);
    SoundOptions options;
    options.keylockQuality = static_cast<int>(state.range(0));
    engine->setSoundOptions(options);
    std::vector<float> out(2 * kBlock);
    for (int d = 0; d < 16; ++d) {
        Command load(CommandType::LOAD_TRACK, d);
        load.track = makeTrack(samples);
        engine->pushOwn(load);
        engine->pushOwn(Command(CommandType::SET_RATE, d, 0.92 + 0.16 * d / 15.0));
        engine->pushOwn(Command(CommandType::SET_KEYLOCK, d, 1.0));
        engine->pushOwn(Command(CommandType::BEAT_LOOP, d, 60.0));
        engine->pushOwn(Command(CommandType::PLAY, d));
        engine->render(out.data(), kBlock);
    }
    long blocks = 0;
    for (auto _ : state) {
        engine->render(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        ++blocks;
    }
    reportCorePercent(state, blocks, 16);
    state.SetLabel(state.range(0) == 1 ? "phase vocoder" : "wsola");
}
BENCHMARK(SixteenKeyLockedDecksThroughTheEngine)->ArgName("quality")->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
