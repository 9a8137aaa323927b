// From queueLoad to the deck holding the track (LOAD_TRACK applied by the render block), for a
// five-minute WAV and MP3, with the engine rendering as a device would while the load runs.

#include "app/DecoderRegistration.h"
#include "audio/OfflineAudioDevice.h"
#include "audio/WavFileWriter.h"
#include "engine/EngineHost.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

using namespace vyn;

const std::string& fiveMinuteWav() {
    static const std::string path = [] {
        const std::string p =
            (std::filesystem::temp_directory_path() / "vyn-bench-load-5min.wav").string();
        WavFileWriter w;
        w.open(p, WavFileWriter::Format::Pcm16, 2, 44100);
        std::vector<std::int16_t> block(2 * 44100);
        for (int second = 0; second < 300; ++second) {
            for (int i = 0; i < 44100; ++i)
                block[2 * i] = block[2 * i + 1] = static_cast<std::int16_t>(
                    9000 * std::sin(2 * 3.141592653589793 * (110 + second) * i / 44100.0));
            w.writeInt16(block.data(), 44100);
        }
        w.finish();
        return p;
    }();
    return path;
}

const std::string& fiveMinuteMp3() {
    static const std::string path = [] {
        const std::string p =
            (std::filesystem::temp_directory_path() / "vyn-bench-load-5min.mp3").string();
        const std::string cmd = "ffmpeg -v error -y -i '" + fiveMinuteWav() +
                                "' -codec:a libmp3lame -b:a 256k '" + p + "'";
        return std::system(cmd.c_str()) == 0 ? p : std::string();
    }();
    return path;
}

void loadLatency(benchmark::State& state, const std::string& path) {
    if (path.empty()) {
        state.SkipWithError("could not make the test file (ffmpeg missing?)");
        return;
    }
    registerPlatformDecoders();
    auto device = std::make_unique<OfflineAudioDevice>(2, 48000.0);
    OfflineAudioDevice* offline = device.get();
    auto engine = EngineHost::create(std::move(device));
    engine->open();
    std::vector<float> buffer(2 * 256);
    std::vector<LoadResult> results;
    int deck = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        engine->loader().queueLoad(deck, path);
        EngineSnapshot snap;
        for (;;) {
            engine->loader().poll(results);
            offline->renderInto(buffer.data(), 256);
            if (engine->readSnapshot(snap) && snap.decks[deck].state != 0 &&
                engine->loader().deckInfo(deck).path == path)
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        state.PauseTiming();
        engine->pushOwn(Command(CommandType::UNLOAD, deck));
        offline->renderInto(buffer.data(), 256);
        engine->loader().poll(results);
        deck = (deck + 1) % 16;
        state.ResumeTiming();
    }
    engine->stop();
}

void LoadLatencyWav5Min(benchmark::State& state) {
    loadLatency(state, fiveMinuteWav());
}
void LoadLatencyMp35Min(benchmark::State& state) {
    loadLatency(state, fiveMinuteMp3());
}

BENCHMARK(LoadLatencyWav5Min)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(LoadLatencyMp35Min)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
