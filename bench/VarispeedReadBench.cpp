// One deck reading its track through the varispeed reader, linear against band-limited, as a share
// of one core at 48 kHz with 256-frame blocks. The case the goal is set for: a 44.1 kHz source at
// rate 1.04 (goal: the band-limited reader at most 0.2 % of a core per deck). Besides it: a 48 kHz
// source at rate 1.04 (the decimating low-pass runs) and scratching at the fastest jog speed.
// The reader alone is measured the same way, without the deck's channel strip.

#include "audio/Int16Source.h"
#include "dsp/VarispeedReader.h"
#include "engine/Deck.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using namespace vyn;

constexpr double kEngineRate = 48000.0;
constexpr int kBlock = 256;

// Music-like material: a few partials and noise, 60 s at `rate`.
std::unique_ptr<Int16Source> material(double rate) {
    const auto frames = static_cast<std::size_t>(60 * rate);
    DecodeResult decoded;
    decoded.samples.resize(2 * frames);
    std::uint32_t x = 7;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        x = x * 1664525u + 1013904223u;
        const double v = 0.3 * std::sin(2 * M_PI * 55.0 * t) +
                         0.2 * std::sin(2 * M_PI * 440.0 * t) +
                         0.1 * std::sin(2 * M_PI * 9000.0 * t) +
                         (static_cast<double>(x >> 8) / 16777216.0 - 0.5) * 0.2;
        decoded.samples[2 * i] = decoded.samples[2 * i + 1] = static_cast<std::int16_t>(v * 32767);
    }
    decoded.sampleRate = rate;
    decoded.frames = frames;
    decoded.ok = true;
    return std::make_unique<Int16Source>(std::move(decoded));
}

void reportCoreShare(benchmark::State& state, long blocks) {
    // CPU time per block over the block's duration at 48 kHz, in percent.
    state.counters["core_percent"] =
        benchmark::Counter(static_cast<double>(blocks) * kBlock / kEngineRate / 100.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Arguments: interpolation (0 linear, 1 band-limited), source rate, speed x 1000 (a speed of
// 4000 is a jog movement, the rest a rate).
void OneDeck(benchmark::State& state) {
    const int interpolation = static_cast<int>(state.range(0));
    const double sourceRate = static_cast<double>(state.range(1));
    const double speed = static_cast<double>(state.range(2)) / 1000.0;
    const bool jog = speed >= 4.0;
    Deck deck;
    deck.prepare(kEngineRate, kBlock, 0);
    SoundOptions options;
    options.interpolation = interpolation;
    deck.setSoundOptions(options);
    Command load(CommandType::LOAD_TRACK, 0);
    load.track = new LoadedTrack;
    load.track->source = material(sourceRate);
    deck.apply(load);
    deck.apply(Command(CommandType::SET_RATE, 0, jog ? 1.0 : speed));
    deck.apply(Command(CommandType::PLAY, 0));
    std::vector<float> out(2 * kBlock);
    long blocks = 0;
    for (auto _ : state) {
        if (jog) deck.apply(Command(CommandType::JOG, 0, speed));
        deck.render(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        if (!deck.playing() || deck.position() > 50 * sourceRate) {
            deck.seek(0.0);
            deck.apply(Command(CommandType::PLAY, 0));
        }
        ++blocks;
    }
    reportCoreShare(state, blocks);
}
BENCHMARK(OneDeck)
    ->ArgNames({"interpolation", "source_hz", "speed_x1000"})
    ->Args({0, 44100, 1040})
    ->Args({1, 44100, 1040})
    ->Args({0, 48000, 1040})
    ->Args({1, 48000, 1040})
    ->Args({0, 44100, 4000})
    ->Args({1, 44100, 4000});

// The reader on its own: a 44.1 kHz source at rate 1.04 on the 48 kHz engine.
void ReaderAlone(benchmark::State& state) {
    const std::unique_ptr<Int16Source> source = material(44100.0);
    VarispeedReader reader;
    reader.prepare(8192);
    reader.setInterpolation(state.range(0) ? VarispeedInterpolation::BandLimited
                                           : VarispeedInterpolation::Linear);
    auto fetch = [&source](std::int64_t first, float* dst, int count) {
        source->read(first, dst, count);
    };
    const double speed = 1.04 * 44100.0 / kEngineRate;
    const double frames = static_cast<double>(source->frameCount());
    std::vector<float> out(2 * kBlock);
    double playhead = 0.0;
    long blocks = 0;
    for (auto _ : state) {
        if (!reader.read(fetch, playhead, frames, speed, out.data(), kBlock)) playhead = 0.0;
        benchmark::DoNotOptimize(out.data());
        ++blocks;
    }
    reportCoreShare(state, blocks);
}
BENCHMARK(ReaderAlone)->ArgName("interpolation")->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
