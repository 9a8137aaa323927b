// Waveform analysis of a decoded five-minute track at 150 columns per second, in times real
// time, and the reduction of its columns to the 2048 sent to the web remote.

#include "dsp/Waveform.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double kRate = 44100.0;
constexpr std::uint64_t kFrames = 5ull * 60 * 44100;

const std::vector<std::int16_t>& track() {
    static const std::vector<std::int16_t> samples = [] {
        std::vector<std::int16_t> s(kFrames * 2);
        std::uint32_t noise = 7;
        for (std::uint64_t i = 0; i < kFrames; ++i) {
            const double t = static_cast<double>(i) / kRate;
            noise = noise * 1664525u + 1013904223u;
            const double beat = std::exp(-6.0 * std::fmod(t, 0.5));
            const double n = (static_cast<double>(noise >> 8) / 8388608.0 - 1.0) * beat;
            s[2 * i] = s[2 * i + 1] =
                static_cast<std::int16_t>(12000 * std::sin(2 * M_PI * 60 * t) * beat +
                                          4000 * std::sin(2 * M_PI * 900 * t) + 5000 * n);
        }
        return s;
    }();
    return samples;
}

void WaveformAnalysis(benchmark::State& state) {
    const std::vector<std::int16_t>& s = track();
    for (auto _ : state) {
        vyn::Waveform w = vyn::analyseWaveform(s.data(), kFrames, kRate, 150.0);
        benchmark::DoNotOptimize(w.columns.data());
    }
    state.counters["xRealTime"] = benchmark::Counter(static_cast<double>(state.iterations()) *
                                                         static_cast<double>(kFrames) / kRate,
                                                     benchmark::Counter::kIsRate);
}
BENCHMARK(WaveformAnalysis)->Unit(benchmark::kMillisecond);

void WaveformReduction(benchmark::State& state) {
    const vyn::Waveform full = vyn::analyseWaveform(track().data(), kFrames, kRate, 150.0);
    for (auto _ : state) {
        vyn::Waveform w = vyn::reduceWaveform(full, 2048);
        benchmark::DoNotOptimize(w.columns.data());
    }
}
BENCHMARK(WaveformReduction)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
