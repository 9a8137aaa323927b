#pragma once
// Sends MIDI beat clock to one MIDI output, following the tempo and running state the refresh
// pass sets. Two ways to pace the pulses, chosen by the MIDI facility:
// - through a byte output (RtMidi on the ALSA sequencer, WinMM): a clock thread sleeps until the
//   next pulse's absolute time (waking early only when set() changes something) and sends the
//   bytes the generator produces, so a pulse leaves within the scheduler's latency of its time;
// - on a JACK server: pulses are written from a JACK MIDI port inside the process cycle at the
//   frame offset of their exact time, so every pulse lands on its frame.
// Either way the generator's rules hold: start before the first pulse, one stop when the run
// ends, at most eight overdue pulses at once.
//
// Threading: open, stop, set, isOpen, name and lastError belong to one thread (the
// user-interface thread). The clock thread or JACK's process thread runs the generator; set()
// reaches it under the output's mutex (JACK: through atomics, as the process cycle never waits).

#include "control/midi/IMidiBackend.h"
#include "control/midi/MidiClockGenerator.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vyn {

// A running clock on one output. Destroying it stops the pulses and sends 0xFC.
class IMidiClockDriver {
public:
    virtual ~IMidiClockDriver() = default;
    virtual void set(double bpm, bool running) = 0;
    // Bytes sent so far (for the window and tests).
    virtual std::uint64_t bytesSent() const = 0;
};

// Sends one status byte now (RtMidi, WinMM). Failures are ignored.
class IMidiByteOutput {
public:
    virtual ~IMidiByteOutput() = default;
    virtual void send(std::uint8_t byte) = 0;
};

// The clock thread over a byte output; the generator runs on steady_clock seconds.
std::unique_ptr<IMidiClockDriver> makeThreadedClockDriver(std::unique_ptr<IMidiByteOutput> out);

// Platform: opens `output` of the given facility. With jack true the pulses are written from a
// JACK MIDI port connected to it, unless forceByteOutput asks for the byte output (measurements).
// Null on failure.
std::unique_ptr<IMidiClockDriver> openPlatformClockDriver(const MidiOutputInfo& output, bool jack,
                                                          bool forceByteOutput);

class MidiClockOutput {
public:
    static constexpr const char* kNoOutput = "No MIDI output device.";
    static constexpr const char* kNotConnected = "That MIDI output is not connected.";
    static constexpr const char* kCouldNotOpen = "Could not open that MIDI output.";

    explicit MidiClockOutput(IMidiBackend& backend) : backend_(backend) {}
    ~MidiClockOutput() { stop(); }
    MidiClockOutput(const MidiClockOutput&) = delete;
    MidiClockOutput& operator=(const MidiClockOutput&) = delete;

    // Stops a running clock, then opens the output named `name` (with an empty name and exactly
    // one output present, that one). False with lastError() set on failure.
    bool open(const std::string& name);
    // Stops the pulses, sends 0xFC and closes the output.
    void stop();
    void set(double bpm, bool running);

    bool isOpen() const { return driver_ != nullptr; }
    const std::string& name() const { return name_; }
    const std::string& lastError() const { return error_; }
    std::uint64_t bytesSent() const { return driver_ ? driver_->bytesSent() : 0; }
    // Measurements only: pace through the byte output even on JACK.
    void forceByteOutput(bool force) { forceBytes_ = force; }

private:
    IMidiBackend& backend_;
    std::unique_ptr<IMidiClockDriver> driver_;
    std::string name_;
    std::string error_;
    bool forceBytes_ = false;
};

} // namespace vyn
