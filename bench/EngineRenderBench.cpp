// The render block's fixed costs and the command path: an idle block, a block that drains 1,000
// commands, and ring throughput from a producer thread to the consumer.

#include "engine/CommandQueue.h"
#include "engine/EngineHost.h"

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

} // namespace

BENCHMARK_MAIN();
