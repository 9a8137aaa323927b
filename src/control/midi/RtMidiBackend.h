#pragma once
// The Linux MIDI backend over RtMidi: the ALSA sequencer when it exists, JACK otherwise (or
// when asked through MidiBackendOptions / VYN_MIDI). With JACK the device lists come from a JACK
// client of our own that notices a server shutdown and reconnects later, and ports of our own
// clients are never listed. RtMidi delivers input on its own threads
// (for JACK, inside the JACK process cycle, which must never wait), so each open input copies its
// bytes into a lock-free ring and one MIDI input thread of the backend feeds the router from
// there; only that thread runs the router's observer.
//
// Threading: as IMidiBackend. The input thread is started with the first open input and ends
// when the backend and every input it opened are gone.

#include "control/midi/IMidiBackend.h"

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

class RtMidiIn;
class RtMidiOut;

namespace vyn {

class MidiInputPump;
struct JackPortLister;

class RtMidiBackend final : public IMidiBackend {
public:
    explicit RtMidiBackend(const MidiBackendOptions& options);
    ~RtMidiBackend() override;

    const char* apiName() const override;
    std::vector<MidiDeviceInfo> listInputs() override;
    std::unique_ptr<IMidiInput> openInput(const MidiDeviceInfo& device, MidiRouter& router,
                                          int port) override;
    std::vector<MidiOutputInfo> listOutputs() override;
    std::string lastError() const override { return error_; }

    bool usesJack() const { return jack_; }

    // The device name of an RtMidi port name: ALSA names end in the sequencer address
    // ("Name:Port 20:0"), which changes on every replug, so it is removed.
    static std::string deviceName(std::string_view portName, bool alsa);
    // Which facility Auto picks on this machine (VYN_MIDI, then the ALSA sequencer device).
    static MidiApi resolveApi(MidiApi requested);
    // True when a JACK port name belongs to a client this backend opens ("VYN", "VYN-01").
    static bool ownJackPort(std::string_view portName, std::string_view clientName);

private:
    bool ensureInputLister();
    bool ensureOutputLister();
    bool ensureJackLister();
    std::vector<std::string> jackPorts(bool inputs);
    bool retryAllowed(std::chrono::steady_clock::time_point& lastFailure);

    bool jack_ = false;
    std::string clientName_;
    std::string error_;
    std::unique_ptr<RtMidiIn> inLister_;
    std::unique_ptr<RtMidiOut> outLister_;
    std::unique_ptr<JackPortLister> jackLister_;
    std::chrono::steady_clock::time_point inFailure_{};
    std::chrono::steady_clock::time_point outFailure_{};
    std::shared_ptr<MidiInputPump> pump_;
    std::chrono::steady_clock::time_point epoch_;
};

} // namespace vyn
