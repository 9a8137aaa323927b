// Reading a deck's block from a five-minute stereo track: the plain 16-bit source against the
// stem source, summed and mixed with all four gains ramping, in frames per second.

#include "audio/Int16Source.h"
#include "dsp/StemSource.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

constexpr std::int64_t kFrames = 5 * 60 * 44100;
constexpr int kBlock = 512;

std::vector<std::int16_t> noise(std::uint32_t seed) {
    std::vector<std::int16_t> v(2 * kFrames);
    for (std::int16_t& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<std::int16_t>(seed >> 16);
    }
    return v;
}

// Reads the track block after block from the start, again and again.
template <class Read> void readBlocks(benchmark::State& state, Read&& read) {
    std::vector<float> out(2 * kBlock);
    std::int64_t at = 0;
    for (auto _ : state) {
        read(at, out.data());
        benchmark::DoNotOptimize(out.data());
        at = at + kBlock < kFrames ? at + kBlock : 0;
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}

void PlainRead(benchmark::State& state) {
    const vyn::Int16Source source(vyn::DecodeResult{noise(1), 44100.0, kFrames, true, {}});
    readBlocks(state, [&](std::int64_t at, float* out) { source.read(at, out, kBlock); });
}
BENCHMARK(PlainRead);

vyn::StemSource stemSource() {
    vyn::StemSet set;
    set.frames = kFrames;
    set.sampleRate = 44100.0;
    for (int s = 0; s < vyn::kStemCount; ++s)
        set.stems[s] = noise(static_cast<std::uint32_t>(s + 2));
    return vyn::StemSource(std::move(set));
}

void StemSum(benchmark::State& state) {
    const vyn::StemSource source = stemSource();
    readBlocks(state, [&](std::int64_t at, float* out) { source.read(at, out, kBlock); });
}
BENCHMARK(StemSum);

void StemMixRamping(benchmark::State& state) {
    const vyn::StemSource source = stemSource();
    const float from[4] = {1.0f, 0.5f, 0.0f, 2.0f};
    const float to[4] = {0.9f, 0.6f, 0.1f, 1.9f};
    readBlocks(state,
               [&](std::int64_t at, float* out) { source.readMixed(at, out, kBlock, from, to); });
}
BENCHMARK(StemMixRamping);

void StemMixOneKilled(benchmark::State& state) {
    const vyn::StemSource source = stemSource();
    const float gains[4] = {0.0f, 1.0f, 0.7f, 1.2f};
    readBlocks(state, [&](std::int64_t at, float* out) {
        source.readMixed(at, out, kBlock, gains, gains);
    });
}
BENCHMARK(StemMixOneKilled);

} // namespace

BENCHMARK_MAIN();
