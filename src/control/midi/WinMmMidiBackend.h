#pragma once
// The Windows MIDI backend over WinMM. Each open input has a function callback that runs on
// WinMM's callback thread and does nothing but unpack the short message, copy its bytes into the
// input's lock-free ring and wake the MIDI input thread (MidiInputPump), which feeds the router.
// SysEx (long) messages are not requested, so none arrive.
//
// Threading: as IMidiBackend. The input thread is started with the first open input and ends
// when the backend and every input it opened are gone.

#include "control/midi/IMidiBackend.h"

#include <chrono>
#include <cstdint>
#include <memory>

namespace vyn {

class MidiInputPump;
struct PumpSource;

class WinMmMidiBackend final : public IMidiBackend {
public:
    WinMmMidiBackend();
    ~WinMmMidiBackend() override;

    const char* apiName() const override { return "WinMM"; }
    std::vector<MidiDeviceInfo> listInputs() override;
    std::unique_ptr<IMidiInput> openInput(const MidiDeviceInfo& device, MidiRouter& router,
                                          int port) override;
    std::vector<MidiOutputInfo> listOutputs() override;
    std::string lastError() const override { return error_; }

    // What the input callback does with one MIM_DATA message (`packed`: status in bits 0-7,
    // data bytes in 8-15 and 16-23): the message's bytes (1 + the status's data length, or 3
    // after running status) go to `source`'s ring. Lock- and allocation-free.
    static void deliverShortMessage(PumpSource& source, std::uint32_t packed) noexcept;

private:
    std::string error_;
    std::shared_ptr<MidiInputPump> pump_;
    std::chrono::steady_clock::time_point epoch_;
};

} // namespace vyn
