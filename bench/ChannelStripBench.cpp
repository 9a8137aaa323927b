// The channel strip per 256-frame block at 48 kHz, with the isolator EQ against the one-pole
// split, in the same run: with the EQ resting at unity (the input passes untouched while the
// crossovers keep following it), engaged (low killed, high boosted, every gain settled) and
// gliding (the low gain moving every block). Prints isolator / one-pole for each at the end; the
// goal is at most 3 when engaged.

#include "dsp/ChannelStrip.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <numbers>
#include <string>
#include <vector>

namespace {

using namespace vyn;

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;
constexpr int kMaterialFrames = 48000;

// One second of music-like stereo: a bass line, a wavering lead, a bright partial, soft noise.
const std::vector<float>& material() {
    static const std::vector<float> m = [] {
        std::vector<float> s(2 * kMaterialFrames);
        std::uint32_t x = 11;
        for (int i = 0; i < kMaterialFrames; ++i) {
            const double t = i / kRate;
            x = x * 1664525u + 1013904223u;
            const double noise = (static_cast<double>(x >> 8) / 16777216.0 - 0.5) * 0.05;
            const double v =
                0.3 * std::sin(2 * std::numbers::pi * 55.0 * t) +
                0.2 * std::sin(2 * std::numbers::pi * (440.0 + 20.0 * std::sin(t)) * t) +
                0.05 * std::sin(2 * std::numbers::pi * 6000.0 * t) + noise;
            s[2 * i] = static_cast<float>(v);
            s[2 * i + 1] = static_cast<float>(0.9 * v);
        }
        return s;
    }();
    return m;
}

constexpr const char* kEqStates[] = {"EQ at unity", "EQ engaged", "EQ gliding"};

// Arguments: EQ type (0 isolator, 1 one-pole), EQ state (an index into kEqStates).
void ChannelStripBlock(benchmark::State& state) {
    const auto type = static_cast<EqType>(state.range(0));
    const int eq = static_cast<int>(state.range(1));
    ChannelStrip strip;
    strip.setEqType(type);
    strip.prepare(kRate);
    strip.setFader(0.8f);
    if (eq != 0) {
        strip.setEqLow(0.0f);
        strip.setEqHigh(1.4f);
    }
    const std::vector<float>& in = material();
    std::vector<float> block(2 * kBlock);
    int offset = 0;
    auto next = [&] {
        std::memcpy(block.data(), in.data() + 2 * offset, sizeof(float) * 2 * kBlock);
        offset = (offset + kBlock) % (kMaterialFrames - kBlock);
        strip.process(block.data(), kBlock);
    };
    for (int i = 0; i < 200; ++i) // every glide settles
        next();
    int blocks = 0;
    for (auto _ : state) {
        if (eq == 2) strip.setEqLow((++blocks % 2) ? 0.2f : 0.9f);
        next();
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBlock, benchmark::Counter::kIsRate);
}
BENCHMARK(ChannelStripBlock)->ArgNames({"type", "eq"})->ArgsProduct({{0, 1}, {0, 1, 2}});

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        // One figure per case: the single run, or the median of repetitions.
        for (const Run& r : runs) {
            if (r.error_occurred) continue;
            const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
            if (r.run_type != Run::RT_Iteration && !median) continue;
            Cpu& slot = cpu_[r.run_name.args];
            if (median || !slot.fromMedian) slot = {r.GetAdjustedCPUTime(), median};
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printRatios() const {
        for (int eq = 0; eq < 3; ++eq) {
            const std::string suffix = "/eq:" + std::to_string(eq);
            const auto iso = cpu_.find("type:0" + suffix);
            const auto one = cpu_.find("type:1" + suffix);
            if (iso == cpu_.end() || one == cpu_.end() || one->second.time <= 0) continue;
            std::printf("channel strip, %s: isolator / one-pole split = %.2f (CPU time)\n",
                        kEqStates[eq], iso->second.time / one->second.time);
        }
    }

private:
    struct Cpu {
        double time = 0.0;
        bool fromMedian = false;
    };
    std::map<std::string, Cpu> cpu_; // by arguments: "type:0/eq:1"
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
