#pragma once
// A real MIDI receiver on the test JACK server: a client with one MIDI input port that records
// every byte with its absolute frame time (period start + the event's offset), so tests measure
// timing in frames rather than against a loaded machine's wall clock.

#include <jack/jack.h>
#include <jack/midiport.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vyn::test {

class JackMidiReceiver {
public:
    struct Event {
        std::uint64_t frame = 0;
        std::uint8_t byte = 0;
    };

    explicit JackMidiReceiver(const std::string& client) {
        client_ = jack_client_open(client.c_str(), JackNoStartServer, nullptr);
        if (!client_) return;
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        rate_ = jack_get_sample_rate(client_);
        if (port_ && jack_set_process_callback(client_, &process, this) == 0 &&
            jack_activate(client_) == 0)
            name_ = jack_port_name(port_);
    }
    ~JackMidiReceiver() {
        if (client_) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }
    bool ok() const { return !name_.empty(); }
    const std::string& portName() const { return name_; }
    std::uint32_t sampleRate() const { return rate_; }

    // The events received so far (safe while the receiver runs: entries are published in order).
    std::vector<Event> events() const {
        const std::size_t n = count_.load(std::memory_order_acquire);
        return std::vector<Event>(events_.begin(), events_.begin() + static_cast<long>(n));
    }

private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackMidiReceiver*>(arg);
        void* buffer = jack_port_get_buffer(self->port_, frames);
        const std::uint64_t start = jack_last_frame_time(self->client_);
        const jack_nframes_t n = jack_midi_get_event_count(buffer);
        std::size_t at = self->count_.load(std::memory_order_relaxed);
        for (jack_nframes_t i = 0; i < n; ++i) {
            jack_midi_event_t e;
            if (jack_midi_event_get(&e, buffer, i) != 0) continue;
            for (std::size_t b = 0; b < e.size && at < self->events_.size(); ++b)
                self->events_[at++] = Event{start + e.time, e.buffer[b]};
        }
        self->count_.store(at, std::memory_order_release);
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::uint32_t rate_ = 0;
    std::string name_;
    std::array<Event, 65536> events_{};
    std::atomic<std::size_t> count_{0};
};

} // namespace vyn::test
