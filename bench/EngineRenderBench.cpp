// The render block's fixed costs and the command path: an idle block, a block that drains 1,000
// commands, and ring throughput from a producer thread to the consumer.

#include "audio/SampleSource.h"
#include "engine/CommandQueue.h"
#include "engine/EngineHost.h"
#include "engine/LoadedTrack.h"

#include <cmath>
#include <ctime>

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using namespace vyn;

void IdleRenderBlock(benchmark::State& state) {
    auto engine = EngineHost::create(nullptr);
    engine->prepare(48000.0, 2048);
    std::vector<float> out(2 * 2048);
    const int frames = static_cast<int>(state.range(0));
    for (auto _ : state) {
        engine->render(out.data(), frames);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel("ns per block of " + std::to_string(frames) + " frames");
}
BENCHMARK(IdleRenderBlock)->Arg(256)->Arg(2048);

void RenderBlockDraining1000Commands(benchmark::State& state) {
    auto engine = EngineHost::create(nullptr);
    engine->prepare(48000.0, 2048);
    std::vector<float> out(2 * 2048);
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 1000; ++i) {
            const auto type = (i % 3 == 0)   ? CommandType::SET_MASTER_GAIN
                              : (i % 3 == 1) ? CommandType::SET_FILTER
                                             : CommandType::SET_PLAYHEAD;
            engine->pushOwn(Command(type, i % 16, 0.5));
        }
        state.ResumeTiming();
        engine->render(out.data(), 256);
    }
    state.SetLabel("ns per 256-frame block with 1000 commands");
}
BENCHMARK(RenderBlockDraining1000Commands);

void RingPushAndDrain(benchmark::State& state) {
    CommandQueue queue;
    const int slot = queue.acquireProducer();
    std::atomic<bool> done{false};
    std::atomic<long> consumed{0};
    std::thread consumer([&] {
        Command c;
        long n = 0;
        while (!done.load(std::memory_order_relaxed)) {
            while (queue.pop(slot, c))
                ++n;
        }
        while (queue.pop(slot, c))
            ++n;
        consumed = n;
    });
    long pushed = 0;
    const Command c(CommandType::SET_RATE, 1, 1.01);
    for (auto _ : state) {
        while (!queue.push(slot, c)) {
        }
        ++pushed;
    }
    done = true;
    consumer.join();
    state.SetItemsProcessed(pushed);
    state.counters["consumed"] = static_cast<double>(consumed.load());
}
BENCHMARK(RingPushAndDrain)->UseRealTime();

// A minute of noise-like material, shared by the sixteen decks of the full-mix benchmark.
class BenchSource final : public SampleSource {
public:
    explicit BenchSource(std::size_t frames) : data_(2 * frames) {
        std::uint32_t x = 12345;
        for (auto& v : data_) {
            x = x * 1664525u + 1013904223u;
            v = static_cast<float>(static_cast<std::int32_t>(x)) / 4.0e9f;
        }
    }
    std::uint64_t frameCount() const override { return data_.size() / 2; }
    double sampleRate() const override { return 48000.0; }
    std::int64_t read(std::int64_t start, float* out, std::int64_t frames) const override {
        std::int64_t n = 0;
        for (std::int64_t i = 0; i < frames; ++i) {
            const std::int64_t f = start + i;
            const bool in = f >= 0 && f < static_cast<std::int64_t>(frameCount());
            out[2 * i] = in ? data_[2 * f] : 0.0f;
            out[2 * i + 1] = in ? data_[2 * f + 1] : 0.0f;
            n += in;
        }
        return n;
    }
    int stemCount() const override { return 0; }
    std::int64_t readMixed(std::int64_t s, float* o, std::int64_t f, const float*,
                           const float*) const override {
        return read(s, o, f);
    }
    const std::int16_t* int16Data() const override { return nullptr; }

private:
    std::vector<float> data_;
};

// Sixteen decks with key lock at different rates, all synced, EQ and filter moving, an echo on
// the master: the figure is the share of one core at 48 kHz in 256-frame blocks.
void FullMixSixteenDecks(benchmark::State& state) {
    auto engine = EngineHost::create(nullptr);
    engine->prepare(48000.0, 2048);
    std::vector<float> out(2 * 2048);
    for (int d = 0; d < 16; ++d) {
        auto* t = new LoadedTrack;
        t->source = std::make_unique<BenchSource>(48000 * 60);
        for (int b = 0; b < 130; ++b)
            t->grid.beats.push_back(
                {b * 60.0 / (120.0 + d), 120.0 + d, static_cast<std::uint16_t>(b % 4 + 1)});
        t->grid.updateSummary();
        Command load(CommandType::LOAD_TRACK, d);
        load.track = t;
        engine->pushOwn(load);
        engine->pushOwn(Command(CommandType::SET_KEYLOCK, d, 1));
        engine->pushOwn(Command(CommandType::SET_RATE, d, 0.92 + 0.01 * d));
        engine->pushOwn(Command(CommandType::SET_SYNC, d, 1));
        engine->pushOwn(Command(CommandType::PLAY, d));
    }
    engine->pushOwn(Command(CommandType::SET_FX_TYPE, -1, 2));
    engine->pushOwn(Command(CommandType::SET_FX_MIX, -1, 0.5));
    engine->pushOwn(Command(CommandType::SET_FX_TARGET, -1, -1));
    engine->render(out.data(), 256);
    long blocks = 0;
    timespec cpuStart{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
    for (auto _ : state) {
        const int d = static_cast<int>(blocks % 16);
        const double phase = static_cast<double>(blocks) * 0.01;
        engine->pushOwn(Command(CommandType::SET_EQ_LOW, d, 0.5 + 0.5 * std::sin(phase)));
        engine->pushOwn(Command(CommandType::SET_FILTER, d, 0.5 * std::sin(phase * 0.7)));
        engine->render(out.data(), 256);
        benchmark::DoNotOptimize(out.data());
        ++blocks;
    }
    timespec cpuEnd{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
    const double cpuSeconds = static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) +
                              1e-9 * static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec);
    // Each block stands for 256/48000 s of audio: the share of one core the render needs.
    state.counters["coreShare%"] =
        100.0 * cpuSeconds / (static_cast<double>(state.iterations()) * 256.0 / 48000.0);
}
BENCHMARK(FullMixSixteenDecks)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
