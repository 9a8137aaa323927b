// One deck playing a 5-minute track (plain varispeed, key lock at 1.06, key shift +2) in times
// real time, and sixteen key-locked decks at different rates as a share of one core at 48 kHz
// with 256-frame blocks (goal: below 5 %).

#include "audio/Int16Source.h"
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

// Music-like material: a few partials that move, over noise.
std::vector<std::int16_t> material(std::size_t frames) {
    std::vector<std::int16_t> s(2 * frames);
    std::uint32_t x = 7;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / kRate;
        x = x * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(x >> 8) / 16777216.0 - 0.5) * 0.1;
        const double v = 0.3 * std::sin(2 * M_PI * 55.0 * t) +
                         0.2 * std::sin(2 * M_PI * (440.0 + 20.0 * std::sin(t)) * t) +
                         0.1 * std::sin(2 * M_PI * 1760.0 * t) + noise;
        s[2 * i] = static_cast<std::int16_t>(v * 32767.0);
        s[2 * i + 1] = static_cast<std::int16_t>(v * 0.9 * 32767.0);
    }
    return s;
}

LoadedTrack* makeTrack(const std::vector<std::int16_t>& samples) {
    DecodeResult decoded;
    decoded.samples = samples;
    decoded.sampleRate = kRate;
    decoded.frames = samples.size() / 2;
    decoded.ok = true;
    auto* track = new LoadedTrack;
    track->source = std::make_unique<Int16Source>(std::move(decoded));
    return track;
}

void loadAndPlay(Deck& deck, LoadedTrack* track, double rate, bool keylock, int keyShift) {
    Command load(CommandType::LOAD_TRACK, deck.index());
    load.track = track;
    deck.apply(load);
    deck.apply(Command(CommandType::SET_RATE, deck.index(), rate));
    deck.apply(Command(CommandType::SET_KEYLOCK, deck.index(), keylock ? 1.0 : 0.0));
    deck.apply(Command(CommandType::SET_KEY_SHIFT, deck.index(), keyShift));
    deck.apply(Command(CommandType::PLAY, deck.index()));
}

// Arguments: rate x 1000, key lock, key shift. Renders the whole track per iteration.
void OneDeckFiveMinuteTrack(benchmark::State& state) {
    const double rate = static_cast<double>(state.range(0)) / 1000.0;
    const bool keylock = state.range(1) != 0;
    const int keyShift = static_cast<int>(state.range(2));
    const std::size_t frames = static_cast<std::size_t>(300 * kRate);
    const auto samples = material(frames);
    Deck deck;
    deck.prepare(kRate, kBlock, 0);
    loadAndPlay(deck, makeTrack(samples), rate, keylock, keyShift);
    std::vector<float> out(2 * kBlock);
    double trackSeconds = 0.0;
    for (auto _ : state) {
        deck.seek(0.0);
        deck.apply(Command(CommandType::PLAY, 0));
        long blocks = 0;
        while (deck.playing()) {
            deck.render(out.data(), kBlock);
            benchmark::DoNotOptimize(out.data());
            ++blocks;
        }
        trackSeconds += blocks * kBlock / kRate;
    }
    // Output seconds rendered per second of CPU: how many times faster than real time.
    state.counters["x_realtime"] = benchmark::Counter(trackSeconds, benchmark::Counter::kIsRate);
    state.SetLabel("x_realtime: seconds of track per CPU second");
}
BENCHMARK(OneDeckFiveMinuteTrack)
    ->ArgNames({"rate_x1000", "keylock", "keyshift"})
    ->Args({1000, 0, 0})
    ->Args({1060, 1, 0})
    ->Args({1000, 0, 2})
    ->Unit(benchmark::kMillisecond);

// Sixteen key-locked decks at rates from 0.92 to 1.08, each looping a 30-second stretch.
template <class RenderBlock> void sixteenDecks(benchmark::State& state, RenderBlock&& renderBlock) {
    long blocks = 0;
    for (auto _ : state) {
        renderBlock();
        ++blocks;
    }
    // Share of one core: CPU time per block over the block's duration at 48 kHz.
    state.counters["core_percent"] =
        benchmark::Counter(static_cast<double>(blocks) * kBlock / kRate / 100.0,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel("core_percent: CPU time per 256-frame block over 5.33 ms");
}

double sixteenRate(int d) {
    return 0.92 + 0.16 * d / 15.0;
}

void SixteenKeyLockDecks(benchmark::State& state) {
    const auto samples = material(static_cast<std::size_t>(40 * kRate));
    std::vector<std::unique_ptr<Deck>> decks;
    for (int d = 0; d < 16; ++d) {
        decks.push_back(std::make_unique<Deck>());
        decks.back()->prepare(kRate, kBlock, d);
        loadAndPlay(*decks.back(), makeTrack(samples), sixteenRate(d), true, 0);
        decks.back()->beatLoop(60.0, false); // 30 s at the 120 BPM used without a grid
    }
    std::vector<float> out(2 * kBlock);
    sixteenDecks(state, [&] {
        for (auto& deck : decks) {
            deck->render(out.data(), kBlock);
            benchmark::DoNotOptimize(out.data());
        }
    });
}
BENCHMARK(SixteenKeyLockDecks);

// The same through the engine host's render block: decks plus channel strip, filter and buses.
void SixteenKeyLockDecksThroughTheEngine(benchmark::State& state) {
    const auto samples = material(static_cast<std::size_t>(40 * kRate));
    auto engine = EngineHost::create(nullptr);
    engine->prepare(kRate, kBlock);
    std::vector<float> out(2 * kBlock);
    for (int d = 0; d < 16; ++d) {
        Command load(CommandType::LOAD_TRACK, d);
        load.track = makeTrack(samples);
        engine->pushOwn(load);
        engine->pushOwn(Command(CommandType::SET_RATE, d, sixteenRate(d)));
        engine->pushOwn(Command(CommandType::SET_KEYLOCK, d, 1.0));
        engine->pushOwn(Command(CommandType::BEAT_LOOP, d, 60.0));
        engine->pushOwn(Command(CommandType::PLAY, d));
        engine->render(out.data(), kBlock);
    }
    sixteenDecks(state, [&] {
        engine->render(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
    });
}
BENCHMARK(SixteenKeyLockDecksThroughTheEngine);

} // namespace

BENCHMARK_MAIN();
