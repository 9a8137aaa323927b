// MIDI clock pulse timing against the ideal grid at 120 BPM: from a JACK MIDI port (measured in
// the frames a JACK receiver sees) and from the clock thread that paces a byte output (RtMidi on
// the ALSA sequencer; here the moment each byte is handed over, on the steady clock). Mean and
// 99th percentile of |pulse - grid| in milliseconds. VYN_CLOCK_SECONDS sets the length (60).

#include "common/JackMidiReceiver.h"
#include "control/midi/MidiClockOutput.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace vyn;
using namespace std::chrono_literals;

double runSeconds() {
    const char* s = std::getenv("VYN_CLOCK_SECONDS");
    const double v = s ? std::atof(s) : 60.0;
    return v > 0.0 ? v : 60.0;
}

// Errors in ms of each pulse time (ms) against the nearest point of the grid first + k * interval.
// A pulse that never arrived (a JACK cycle of the sender or the receiver that did not run on a
// loaded machine loses its events) leaves its grid point empty: counted as "missing", not as an
// error of the pulses around it.
void report(benchmark::State& state, const std::vector<double>& pulsesMs) {
    if (pulsesMs.size() < 2) {
        state.SkipWithError("no pulses");
        return;
    }
    const double interval = 1000.0 / 48.0;
    std::vector<double> errors;
    for (double t : pulsesMs) {
        const double k = std::round((t - pulsesMs[0]) / interval);
        errors.push_back(std::fabs(t - (pulsesMs[0] + k * interval)));
    }
    const double span = std::round((pulsesMs.back() - pulsesMs[0]) / interval) + 1.0;
    state.counters["missing"] = span - static_cast<double>(pulsesMs.size());
    double sum = 0.0;
    for (double e : errors)
        sum += e;
    std::sort(errors.begin(), errors.end());
    state.counters["pulses"] = static_cast<double>(pulsesMs.size());
    state.counters["mean_error_ms"] = sum / static_cast<double>(errors.size());
    state.counters["p99_error_ms"] = errors[errors.size() * 99 / 100];
    state.counters["max_error_ms"] = errors.back();
}

void BM_ClockFromJackPort(benchmark::State& state) {
    for (auto _ : state) {
        if (!std::getenv("JACK_DEFAULT_SERVER")) {
            state.SkipWithError("no JACK server (start the test services)");
            return;
        }
        test::JackMidiReceiver receiver("clock-bench-" + std::to_string(getpid()));
        auto backend = createMidiBackend({MidiApi::Jack, "VYN"});
        MidiClockOutput clock(*backend);
        if (!receiver.ok() || !clock.open(receiver.portName())) {
            state.SkipWithError("could not open the JACK ports");
            return;
        }
        std::this_thread::sleep_for(100ms);
        clock.set(120.0, true);
        std::this_thread::sleep_for(std::chrono::duration<double>(runSeconds()));
        clock.set(120.0, false);
        std::this_thread::sleep_for(100ms);
        std::vector<double> pulses;
        for (const auto& e : receiver.events())
            if (e.byte == 0xF8)
                pulses.push_back(static_cast<double>(e.frame) * 1000.0 / receiver.sampleRate());
        report(state, pulses);
    }
}
BENCHMARK(BM_ClockFromJackPort)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

class TimedOutput final : public IMidiByteOutput {
public:
    TimedOutput(std::vector<std::chrono::steady_clock::time_point>& pulses, std::mutex& m)
        : pulses_(pulses), mutex_(m) {}
    void send(std::uint8_t byte) override {
        const auto now = std::chrono::steady_clock::now();
        if (byte != 0xF8) return;
        std::lock_guard<std::mutex> lock(mutex_);
        pulses_.push_back(now);
    }

private:
    std::vector<std::chrono::steady_clock::time_point>& pulses_;
    std::mutex& mutex_;
};

void BM_ClockFromThread(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::chrono::steady_clock::time_point> times;
        std::mutex mutex;
        times.reserve(8192);
        auto driver = makeThreadedClockDriver(std::make_unique<TimedOutput>(times, mutex));
        driver->set(120.0, true);
        std::this_thread::sleep_for(std::chrono::duration<double>(runSeconds()));
        driver->set(120.0, false);
        driver.reset();
        std::vector<double> pulses;
        for (const auto& t : times)
            pulses.push_back(std::chrono::duration<double, std::milli>(t - times.front()).count());
        report(state, pulses);
    }
}
BENCHMARK(BM_ClockFromThread)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
