// A one-hour set rendered offline through the shared replay schedule (20 loads from four
// generated three-minute files, 5,000 commands), as times real time; and what the mix recorder
// adds to the audio thread per 256-frame stereo block, beside the block it copies.

#include "audio/WavFileWriter.h"
#include "engine/CommandCapture.h"
#include "engine/MixRecorder.h"
#include "engine/OfflineRenderer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <random>
#include <vector>

namespace {

using namespace vyn;

const std::vector<std::string>& trackFiles() {
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> out;
        for (int t = 0; t < 4; ++t) {
            const std::string p = (std::filesystem::temp_directory_path() /
                                   ("vyn-bench-set-track-" + std::to_string(t) + ".wav"))
                                      .string();
            WavFileWriter w;
            w.open(p, WavFileWriter::Format::Pcm16, 2, 44100);
            std::vector<std::int16_t> block(2 * 44100);
            for (int second = 0; second < 180; ++second) {
                for (int i = 0; i < 44100; ++i)
                    block[2 * i] = block[2 * i + 1] = static_cast<std::int16_t>(
                        8000 * std::sin(2 * 3.141592653589793 * (110 + 40 * t + second % 7) * i /
                                        44100.0));
                w.writeInt16(block.data(), 44100);
            }
            w.finish();
            out.push_back(p);
        }
        return out;
    }();
    return paths;
}

ReplayEvent command(std::int64_t frame, CommandType type, int deck, double value) {
    ReplayEvent e;
    e.frame = frame;
    e.command = static_cast<int>(type);
    e.deck = deck;
    e.value = value;
    return e;
}

// Two decks taking turns: a track every three minutes, each fading in over the other, with
// faders, EQ, rates and loops spread over the hour up to 5,000 commands.
SetReplay oneHourSet() {
    constexpr double rate = 48000.0;
    SetReplay set;
    set.sampleRate = rate;
    std::mt19937 random(7);
    for (int t = 0; t < 20; ++t) {
        const auto at = static_cast<std::int64_t>(t * 180.0 * rate);
        const int deck = t % 2;
        ReplayEvent load = command(at, CommandType::LOAD_TRACK, deck, 0.0);
        load.path = trackFiles()[static_cast<std::size_t>(t % 4)];
        set.events.push_back(load);
        set.events.push_back(command(at + 4800, CommandType::PLAY, deck, 0.0));
    }
    const CommandType moves[] = {CommandType::SET_FADER, CommandType::SET_EQ_LOW,
                                 CommandType::SET_EQ_HIGH, CommandType::SET_RATE,
                                 CommandType::SET_FILTER};
    while (set.events.size() < 5000) {
        const auto at = static_cast<std::int64_t>(
            std::uniform_real_distribution<double>(1.0, 3599.0)(random) * rate);
        const int deck = static_cast<int>(random() % 2);
        const CommandType type = moves[random() % 5];
        const double value = type == CommandType::SET_RATE
                                 ? std::uniform_real_distribution<double>(0.96, 1.04)(random)
                                 : std::uniform_real_distribution<double>(0.2, 1.0)(random);
        set.events.push_back(command(at, type, deck, value));
    }
    set.events.push_back(command(static_cast<std::int64_t>(3599 * rate), CommandType::PAUSE, 0, 0));
    sortEventsStably(set.events);
    return set;
}

void BM_ReplayOneHourSetOffline(benchmark::State& state) {
    const SetReplay set = oneHourSet();
    OfflineRenderOptions options;
    options.sampleRate = 48000.0;
    double renderedSeconds = 0.0, wallSeconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const OfflineRenderResult r =
            renderSetReplay(set, options, [](const float* x, std::size_t) {
                benchmark::DoNotOptimize(x);
                return true;
            });
        wallSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!r.ok) {
            state.SkipWithError(r.error.c_str());
            return;
        }
        renderedSeconds += static_cast<double>(r.frames) / options.sampleRate;
    }
    state.counters["times_real_time"] = renderedSeconds / wallSeconds;
    state.counters["set_seconds"] = renderedSeconds / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ReplayOneHourSetOffline)->Unit(benchmark::kSecond)->Iterations(1);

// The tap's cost per block while the writer keeps up (the ring holds every block of a run), and
// for reference a plain copy of the same block.
void BM_MixRecorderTapPerBlock(benchmark::State& state) {
    constexpr int kFrames = 256;
    std::vector<float> block(2 * kFrames, 0.25f);
    CommandCapture sets;
    MixRecorderOptions options;
    options.ringSeconds = 60.0;
    MixRecorder mix(sets, options);
    const std::string path =
        (std::filesystem::temp_directory_path() / "vyn-bench-mix.wav").string();
    std::filesystem::remove(path);
    mix.start(path, 48000.0);
    std::uint64_t frame = 0;
    for (auto _ : state) {
        mix.onMasterBlock(block.data(), kFrames, frame);
        frame += kFrames;
    }
    const MixRecordingResult r = mix.stop();
    std::filesystem::remove(path);
    state.counters["lost_frames"] = static_cast<double>(r.lostFrames);
}
BENCHMARK(BM_MixRecorderTapPerBlock)->Iterations(8000)->Repetitions(5);

void BM_PlainBlockCopyReference(benchmark::State& state) {
    std::vector<float> block(512, 0.25f), ring(1 << 20);
    std::size_t at = 0;
    for (auto _ : state) {
        std::copy(block.begin(), block.end(), ring.begin() + static_cast<long>(at));
        at = (at + 512) & ((1 << 20) - 1);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PlainBlockCopyReference)->Iterations(8000)->Repetitions(5);

} // namespace

BENCHMARK_MAIN();
