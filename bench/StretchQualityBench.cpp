// How key lock sounds, side by side with two outside references run in the same pass: a C major
// chord (261.63, 329.63, 392 Hz) and a 55 + 110 Hz bass, 8 s at 48 kHz, at rates 0.94, 1.06 and
// 1.25 (the energy more than 15 Hz from the partials against the energy at them, in dB), and a
// click track at 120 BPM at rate 1.06 (the slowest 10-90 % rise and the worst distance from the
// ideal time, in ms, over the clicks found within 50 ms of it, and how many were not). Each figure
// comes from VYN's two stretchers (a deck key-locked at the rate) and from `sox tempo -m` and
// `rubberband -T` (rubberband-cli), which are only run as programs. A reference that is not
// installed reports nothing.

#include "audio/AudioDecoder.h"
#include "audio/Int16Source.h"
#include "audio/WavFileWriter.h"
#include "common/StretchMeasure.h"
#include "engine/Deck.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace vyn;

constexpr double kRate = 48000.0;
constexpr int kBlock = 256;

enum Stretcher { Wsola, PhaseVocoder, Sox, RubberBand };
const char* const kStretcherNames[] = {"wsola", "phase_vocoder", "sox", "rubberband"};

struct Stereo {
    std::vector<float> frames; // interleaved
    std::size_t count() const { return frames.size() / 2; }
};

Stereo fromMono(const std::vector<float>& mono) {
    Stereo s;
    s.frames.resize(2 * mono.size());
    for (std::size_t i = 0; i < mono.size(); ++i)
        s.frames[2 * i] = s.frames[2 * i + 1] = mono[i];
    return s;
}

// The 16-bit samples a deck plays from (tracks are held as 16-bit PCM): the outside programs
// get exactly these.
std::vector<std::int16_t> pcm16(const Stereo& s) {
    std::vector<std::int16_t> v(s.frames.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<std::int16_t>(std::lround(s.frames[i] * 32767.0f));
    return v;
}

Stereo throughDeck(const Stereo& source, int quality, double rate, double seconds) {
    DecodeResult decoded;
    decoded.samples = pcm16(source);
    decoded.sampleRate = kRate;
    decoded.frames = source.count();
    decoded.ok = true;
    Deck deck;
    deck.prepare(kRate, kBlock, 0);
    SoundOptions options;
    options.keylockQuality = quality;
    deck.setSoundOptions(options);
    Command load(CommandType::LOAD_TRACK, 0);
    load.track = new LoadedTrack;
    load.track->source = std::make_unique<Int16Source>(std::move(decoded));
    deck.apply(load);
    deck.apply(Command(CommandType::SET_KEYLOCK, 0, 1.0));
    deck.apply(Command(CommandType::SET_RATE, 0, rate));
    deck.apply(Command(CommandType::PLAY, 0));
    Stereo out;
    out.frames.resize(2 * static_cast<std::size_t>(seconds * kRate));
    for (std::size_t done = 0; done + kBlock <= out.count(); done += kBlock)
        deck.render(out.frames.data() + 2 * done, kBlock);
    return out;
}

bool writeWav(const std::string& path, const Stereo& s) {
    const std::vector<std::int16_t> samples = pcm16(s);
    WavFileWriter w;
    return w.open(path, WavFileWriter::Format::Pcm16, 2, static_cast<std::uint32_t>(kRate)) &&
           w.writeInt16(samples.data(), s.count()) && w.finish();
}

// Runs an outside stretcher on `source`; empty when it is missing or fails.
Stereo throughProgram(Stretcher which, const Stereo& source, double rate) {
    const std::string dir =
        (std::filesystem::temp_directory_path() / "vyn-stretch-quality").string();
    std::filesystem::create_directories(dir);
    const std::string in = dir + "/in.wav";
    const std::string out = dir + "/out.wav";
    std::filesystem::remove(out);
    if (!writeWav(in, source)) return {};
    char factor[32];
    std::snprintf(factor, sizeof factor, "%.6f", rate);
    const std::string command =
        which == Sox ? "sox '" + in + "' '" + out + "' tempo -m " + factor
                     : "rubberband -q -T " + std::string(factor) + " '" + in + "' '" + out + "'";
    if (std::system((command + " > /dev/null 2>&1").c_str()) != 0) return {};
    const DecodeResult d = decodeFile(out);
    Stereo s;
    if (!d.ok) return s;
    s.frames.resize(d.samples.size());
    for (std::size_t i = 0; i < d.samples.size(); ++i)
        s.frames[i] = static_cast<float>(d.samples[i]) / 32768.0f;
    return s;
}

Stereo stretched(Stretcher which, const Stereo& source, double rate, double seconds) {
    if (which == Wsola || which == PhaseVocoder)
        return throughDeck(source, which == Wsola ? 0 : 1, rate, seconds);
    return throughProgram(which, source, rate);
}

void Sustained(benchmark::State& state, Stretcher which, bool bass, double rate) {
    const std::vector<double>& hz = bass ? test::kBassHz : test::kChordHz;
    const Stereo source = fromMono(test::partialsSignal(hz, 12.0, kRate));
    double db = 0.0;
    for (auto _ : state) {
        const Stereo out = stretched(which, source, rate, 12.0 / rate);
        if (out.count() < static_cast<std::size_t>(6.5 * kRate)) {
            state.SkipWithError("no output (is the program installed?)");
            return;
        }
        db = test::offPartialDb(
            test::stretchSpectrum(out.frames.data(), out.count(), 2, 0, kRate, 48000), hz);
    }
    state.counters["off_partial_db"] = db;
}

void Clicks(benchmark::State& state, Stretcher which, double rate) {
    const Stereo source = fromMono(test::clickTrackSignal(32.0, kRate));
    double rise = 0.0;
    double off = 0.0;
    for (auto _ : state) {
        const Stereo out = stretched(which, source, rate, 30.0 / rate);
        if (out.count() < static_cast<std::size_t>(20 * kRate)) {
            state.SkipWithError("no output (is the program installed?)");
            return;
        }
        const auto want = test::measureClicks(source.frames.data(), source.count(), 2, 0, kRate);
        const auto got = test::measureClicks(
            out.frames.data(), std::min(out.count(), static_cast<std::size_t>(30.0 / rate * kRate)),
            2, 0, kRate);
        // Each click of the source against the output click nearest its ideal time.
        rise = off = 0.0;
        std::size_t missing = 0;
        for (const test::ClickReading& w : want) {
            const double ideal = w.onsetSeconds / rate;
            if (ideal > 29.0 / rate) break;
            const test::ClickReading* best = nullptr;
            for (const test::ClickReading& g : got)
                if (!best ||
                    std::fabs(g.onsetSeconds - ideal) < std::fabs(best->onsetSeconds - ideal))
                    best = &g;
            if (!best || std::fabs(best->onsetSeconds - ideal) > 0.05) {
                ++missing;
                continue;
            }
            rise = std::max(rise, best->riseSeconds * 1000.0);
            off = std::max(off, std::fabs(best->onsetSeconds - ideal) * 1000.0);
        }
        state.counters["clicks_missing"] = static_cast<double>(missing);
    }
    state.counters["worst_rise_ms"] = rise;
    state.counters["worst_offset_ms"] = off;
}

int registerAll() {
    for (int w = Wsola; w <= RubberBand; ++w) {
        const auto which = static_cast<Stretcher>(w);
        for (double rate : {0.94, 1.06, 1.25}) {
            char name[96];
            std::snprintf(name, sizeof name, "Chord/%s/rate:%.2f", kStretcherNames[w], rate);
            benchmark::RegisterBenchmark(name, Sustained, which, false, rate)->Iterations(1);
            std::snprintf(name, sizeof name, "Bass/%s/rate:%.2f", kStretcherNames[w], rate);
            benchmark::RegisterBenchmark(name, Sustained, which, true, rate)->Iterations(1);
        }
        char name[96];
        std::snprintf(name, sizeof name, "Clicks/%s/rate:1.06", kStretcherNames[w]);
        benchmark::RegisterBenchmark(name, Clicks, which, 1.06)->Iterations(1);
    }
    return 0;
}

const int registered = registerAll();

} // namespace

BENCHMARK_MAIN();
