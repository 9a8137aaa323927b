#pragma once
// The platform side of MIDI: lists input and output devices and opens inputs that feed a
// MidiRouter port. One implementation per platform (RtMidi on Linux, WinMM on Windows), chosen
// at build time; everything above it (port slots, rescans, dispatch) is portable.
//
// Threading: list and open calls come from one thread (the one that rescans). An open input
// delivers its bytes to router.feed(port, ...) on an input thread of the backend; after an
// IMidiInput is destroyed no feed for it is running or will run. Never destroy an input while
// holding a lock that the router's observer takes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vyn {

class MidiRouter;

struct MidiDeviceInfo {
    std::size_t index = 0; // the backend's device index, valid until the next listing
    std::string name;      // as the platform reports it (may be empty)
};

// One listed output device (the MIDI clock chooses one by name).
struct MidiOutputInfo {
    std::uint32_t index = 0;
    std::string name; // never empty
};

// An open input. Destroying it stops and closes the device.
class IMidiInput {
public:
    virtual ~IMidiInput() = default;
};

class IMidiBackend {
public:
    virtual ~IMidiBackend() = default;

    // The facility in use ("ALSA", "JACK", "WinMM").
    virtual const char* apiName() const = 0;
    // Input devices present now, in device-index order; devices whose description cannot be read
    // are left out.
    virtual std::vector<MidiDeviceInfo> listInputs() = 0;
    // Opens input `device` (from the latest listing) and starts it; its messages are fed to
    // router port `port` with time stamps in milliseconds that are never 0. Null on failure
    // (lastError() says why); nothing stays open then.
    virtual std::unique_ptr<IMidiInput> openInput(const MidiDeviceInfo& device, MidiRouter& router,
                                                  int port) = 0;
    // Output devices whose names can be read and are not empty, in device-index order.
    virtual std::vector<MidiOutputInfo> listOutputs() = 0;
    virtual std::string lastError() const = 0;
};

enum class MidiApi { Auto, Alsa, Jack };

struct MidiBackendOptions {
    // Auto: the environment variable VYN_MIDI (alsa | jack) when set, else the ALSA sequencer
    // when it exists and JACK otherwise. Ignored where the platform has a single facility.
    MidiApi api = MidiApi::Auto;
    std::string clientName = "VYN";
};

// The platform's backend. Never null: when no facility can be opened the backend lists nothing
// and lastError() explains.
std::unique_ptr<IMidiBackend> createMidiBackend(const MidiBackendOptions& options = {});

} // namespace vyn
