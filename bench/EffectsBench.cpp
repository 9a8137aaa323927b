// The mixer's per-frame DSP on 256-frame stereo blocks at 48 kHz, reported as nanoseconds per
// frame (the ns_per_frame counter): each of the fifteen FX types in insert mode on a deck, the
// channel filter and the master bus (the channel strip has its own, ChannelStripBench).

#include "dsp/ChannelFilter.h"
#include "dsp/FxUnit.h"
#include "dsp/MasterBus.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

using namespace vyn;

constexpr int kFrames = 256;
constexpr double kRate = 48000.0;

// The render thread flushes denormals to zero; so do the benchmarks, or decaying tails would
// measure the slow path of the FPU instead of the code.
void flushDenormals() {
#if defined(__SSE__)
    _mm_setcsr(_mm_getcsr() | 0x8040);
#endif
}

std::vector<float> noise(int frames) {
    std::vector<float> v(2 * static_cast<std::size_t>(frames));
    std::uint32_t s = 12345;
    for (float& x : v) {
        s = s * 1664525u + 1013904223u;
        x = 0.5f * (static_cast<float>(s >> 8) / 8388608.0f - 1.0f);
    }
    return v;
}

void perFrame(benchmark::State& state) {
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kFrames,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

const char* const kTypeNames[FxUnit::kTypeCount] = {
    "none",         "filter",         "echo",      "flanger",       "single echo", "ping-pong echo",
    "low-cut echo", "shrinking echo", "reverb",    "phaser",        "gate",        "pitch shift",
    "roll",         "rising roll",    "saw sweep", "triangle sweep"};

void Effect(benchmark::State& state) {
    flushDenormals();
    const int type = static_cast<int>(state.range(0));
    FxUnit fx;
    fx.prepare(kRate, 2048);
    fx.setType(type);
    // Parameters that engage every type: a knob off centre, a rate above 0, one beat.
    fx.setParam(type == FxUnit::kFilter ? -0.5 : type == FxUnit::kPitchShift ? 0.5 : 0.6);
    fx.setResonance(0.5);
    fx.setMix(0.8);
    fx.setTarget(0);
    const auto source = noise(kFrames);
    std::vector<float> deck(source.size());
    for (auto _ : state) {
        std::memcpy(deck.data(), source.data(), source.size() * sizeof(float));
        fx.setTempo(124.0);
        fx.beginBlock(kFrames);
        fx.processDeck(0, deck.data(), kFrames);
        fx.finishBlock(deck.data(), kFrames);
        benchmark::DoNotOptimize(deck.data());
        benchmark::ClobberMemory();
    }
    perFrame(state);
    state.SetLabel(kTypeNames[type]);
}
BENCHMARK(Effect)->DenseRange(1, 15);

// The copy every Effect iteration makes, measured alone for reference.
void BlockCopyReference(benchmark::State& state) {
    const auto source = noise(kFrames);
    std::vector<float> deck(source.size());
    for (auto _ : state) {
        std::memcpy(deck.data(), source.data(), source.size() * sizeof(float));
        benchmark::DoNotOptimize(deck.data());
        benchmark::ClobberMemory();
    }
    perFrame(state);
}
BENCHMARK(BlockCopyReference);

void ChannelFilterBlock(benchmark::State& state) {
    flushDenormals();
    ChannelFilter filter;
    filter.prepare(kRate);
    filter.setResonance(0.7f);
    const auto source = noise(kFrames);
    std::vector<float> buffer(source.size());
    int block = 0;
    for (auto _ : state) {
        std::memcpy(buffer.data(), source.data(), source.size() * sizeof(float));
        filter.setKnob((++block % 2) ? -0.4f : 0.4f); // coefficients recomputed every block
        filter.process(buffer.data(), kFrames);
        benchmark::DoNotOptimize(buffer.data());
    }
    perFrame(state);
}
BENCHMARK(ChannelFilterBlock);

void MasterBusBlock(benchmark::State& state) {
    flushDenormals();
    MasterBus bus;
    bus.setMasterGain(1.5f);
    bus.prepare(kRate, 2048);
    const auto deck = noise(kFrames);
    std::vector<float> out(deck.size()), cue(deck.size());
    for (auto _ : state) {
        bus.beginBlock(kFrames);
        bus.addDeck(deck.data(), kFrames, true);
        bus.output(out.data(), cue.data(), kFrames);
        benchmark::DoNotOptimize(out.data());
    }
    perFrame(state);
    state.SetLabel("one deck summed, gain, limiter, cue copy");
}
BENCHMARK(MasterBusBlock);

} // namespace

BENCHMARK_MAIN();
