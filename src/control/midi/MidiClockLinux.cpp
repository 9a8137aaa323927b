// The MIDI clock's Linux outputs: RtMidi's output port (ALSA sequencer, or JACK when asked), and
// a JACK client whose MIDI port writes each pulse at its frame inside the process cycle.

#include "control/midi/MidiClockOutput.h"
#include "control/midi/RtMidiBackend.h"

#include <RtMidi.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace vyn {

namespace {

class RtMidiByteOutput final : public IMidiByteOutput {
public:
    explicit RtMidiByteOutput(std::unique_ptr<RtMidiOut> out) : out_(std::move(out)) {}
    ~RtMidiByteOutput() override { out_->closePort(); }
    void send(std::uint8_t byte) override {
        try {
            out_->sendMessage(&byte, 1);
        } catch (const std::exception&) {
            // A failed send is ignored: the next pulse tries again.
        }
    }

private:
    std::unique_ptr<RtMidiOut> out_;
};

std::unique_ptr<IMidiByteOutput> openRtMidiOutput(const std::string& name, bool jack) {
    try {
        auto out =
            std::make_unique<RtMidiOut>(jack ? RtMidi::UNIX_JACK : RtMidi::LINUX_ALSA, "VYN clock");
        const unsigned count = out->getPortCount();
        for (unsigned i = 0; i < count; ++i) {
            const std::string port = out->getPortName(i);
            if ((jack ? port : RtMidiBackend::deviceName(port, true)) != name) continue;
            out->openPort(i, "clock");
            return std::make_unique<RtMidiByteOutput>(std::move(out));
        }
    } catch (const std::exception&) {
    }
    return nullptr;
}

// Pulses from a JACK MIDI port. The generator lives on JACK's process thread; set() reaches it
// through atomics because the process cycle never waits for a lock.
class JackClockDriver final : public IMidiClockDriver {
public:
    static std::unique_ptr<JackClockDriver> open(const std::string& destination) {
        jack_status_t status{};
        jack_client_t* client = jack_client_open("VYN clock", JackNoStartServer, &status);
        if (!client) return nullptr;
        std::unique_ptr<JackClockDriver> d(new JackClockDriver(client));
        d->port_ = jack_port_register(client, "clock", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        d->rate_ = static_cast<double>(jack_get_sample_rate(client));
        if (!d->port_ || d->rate_ <= 0.0 || jack_set_process_callback(client, &process, d.get()) ||
            jack_activate(client))
            return nullptr;
        d->active_ = true;
        if (jack_connect(client, jack_port_name(d->port_), destination.c_str()) != 0)
            return nullptr;
        return d;
    }

    ~JackClockDriver() override {
        if (active_) {
            stopRequested_.store(true, std::memory_order_release);
            // The process cycle sends the stop byte; give it a few periods.
            for (int i = 0; i < 250 && !stopSent_.load(std::memory_order_acquire); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            jack_deactivate(client_);
        }
        jack_client_close(client_);
    }

    void set(double bpm, bool running) override {
        tempo_.store(std::isfinite(bpm) ? bpm : 0.0, std::memory_order_relaxed);
        running_.store(running, std::memory_order_release);
    }
    std::uint64_t bytesSent() const override { return sent_.load(std::memory_order_relaxed); }

private:
    explicit JackClockDriver(jack_client_t* client) : client_(client) {}

    static int process(jack_nframes_t frames, void* arg) {
        static_cast<JackClockDriver*>(arg)->cycle(frames);
        return 0;
    }

    void write(void* buffer, jack_nframes_t frame, const std::uint8_t* bytes, int n) {
        for (int i = 0; i < n; ++i)
            if (jack_midi_event_write(buffer, frame, &bytes[i], 1) == 0)
                sent_.fetch_add(1, std::memory_order_relaxed);
    }

    void cycle(jack_nframes_t frames) {
        void* buffer = jack_port_get_buffer(port_, frames);
        jack_midi_clear_buffer(buffer);
        // JACK's own frame clock (widened past its 32-bit wrap), so a cycle this client missed
        // does not shift the grid.
        const jack_nframes_t now32 = jack_last_frame_time(client_);
        if (now32 < last32_) frameHigh_ += std::uint64_t{1} << 32;
        last32_ = now32;
        const std::uint64_t start = frameHigh_ + now32;
        if (stopRequested_.load(std::memory_order_acquire)) {
            if (!stopSent_.load(std::memory_order_relaxed)) {
                const std::uint8_t stop = midi_clock::kStop;
                write(buffer, 0, &stop, 1);
                stopSent_.store(true, std::memory_order_release);
            }
            return;
        }
        generator_.set(tempo_.load(std::memory_order_relaxed),
                       running_.load(std::memory_order_acquire));
        midiClockCycle(generator_, start, frames, rate_,
                       [&](std::uint32_t frame, const std::uint8_t* bytes, int n) {
                           write(buffer, frame, bytes, n);
                       });
    }

    jack_client_t* client_;
    jack_port_t* port_ = nullptr;
    double rate_ = 0.0;
    bool active_ = false;
    jack_nframes_t last32_ = 0;    // process thread only
    std::uint64_t frameHigh_ = 0;  // process thread only
    MidiClockGenerator generator_; // process thread only
    std::atomic<double> tempo_{0.0};
    std::atomic<bool> running_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> stopSent_{false};
    std::atomic<std::uint64_t> sent_{0};
};

} // namespace

std::unique_ptr<IMidiClockDriver> openPlatformClockDriver(const MidiOutputInfo& output, bool jack,
                                                          bool forceByteOutput) {
    if (jack && !forceByteOutput) return JackClockDriver::open(output.name);
    std::unique_ptr<IMidiByteOutput> out = openRtMidiOutput(output.name, jack);
    return out ? makeThreadedClockDriver(std::move(out)) : nullptr;
}

} // namespace vyn
