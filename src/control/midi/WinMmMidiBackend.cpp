#include "control/midi/WinMmMidiBackend.h"

#include "control/midi/MidiInputPump.h"
#include "control/midi/MidiMessage.h"

#include <windows.h>

#include <mmsystem.h>

namespace vyn {
namespace {

std::string toUtf8(const wchar_t* wide, std::size_t capacity) {
    std::size_t length = 0;
    while (length < capacity && wide[length])
        ++length;
    if (length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0,
                                      nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), out.data(), n, nullptr,
                        nullptr);
    return out;
}

bool inputName(UINT index, std::string& name) {
    MIDIINCAPSW caps{};
    if (midiInGetDevCapsW(index, &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
    name = toUtf8(caps.szPname, MAXPNAMELEN);
    return true;
}

void CALLBACK onMidiInput(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR packed, DWORD_PTR) {
    if (message != MIM_DATA || instance == 0) return;
    WinMmMidiBackend::deliverShortMessage(*reinterpret_cast<PumpSource*>(instance),
                                          static_cast<std::uint32_t>(packed));
}

class WinMmInput final : public IMidiInput {
public:
    ~WinMmInput() override {
        if (handle) {
            midiInStop(handle);
            midiInReset(handle);
            midiInClose(handle); // no callback runs after this returns
        }
        if (pump) pump->remove(&source);
    }

    std::shared_ptr<MidiInputPump> pump;
    PumpSource source;
    HMIDIIN handle = nullptr;
};

} // namespace

WinMmMidiBackend::WinMmMidiBackend() : epoch_(std::chrono::steady_clock::now()) {}

WinMmMidiBackend::~WinMmMidiBackend() = default;

void WinMmMidiBackend::deliverShortMessage(PumpSource& source, std::uint32_t packed) noexcept {
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(packed & 0xFF),
                                   static_cast<std::uint8_t>((packed >> 8) & 0xFF),
                                   static_cast<std::uint8_t>((packed >> 16) & 0xFF)};
    const std::size_t length =
        bytes[0] >= 0x80 ? 1 + static_cast<std::size_t>(midiDataLength(bytes[0])) : 3;
    source.push(bytes, length);
}

std::vector<MidiDeviceInfo> WinMmMidiBackend::listInputs() {
    std::vector<MidiDeviceInfo> out;
    const UINT count = midiInGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        std::string name;
        if (inputName(i, name)) out.push_back({i, std::move(name)});
    }
    return out;
}

std::unique_ptr<IMidiInput> WinMmMidiBackend::openInput(const MidiDeviceInfo& device,
                                                        MidiRouter& router, int port) {
    // Devices come and go between a listing and an open: find the device by name again.
    UINT index = static_cast<UINT>(device.index);
    std::string name;
    if (!inputName(index, name) || name != device.name) {
        const UINT count = midiInGetNumDevs();
        index = count;
        for (UINT i = 0; i < count && index == count; ++i)
            if (inputName(i, name) && name == device.name) index = i;
        if (index == count) {
            error_ = "the MIDI device is gone";
            return nullptr;
        }
    }
    if (!pump_) pump_ = std::make_shared<MidiInputPump>();
    auto input = std::make_unique<WinMmInput>();
    input->pump = pump_;
    input->source.router = &router;
    input->source.port = port;
    input->source.pump = pump_.get();
    input->source.epoch = epoch_;
    pump_->add(&input->source);
    HMIDIIN handle = nullptr;
    if (midiInOpen(&handle, index, reinterpret_cast<DWORD_PTR>(&onMidiInput),
                   reinterpret_cast<DWORD_PTR>(&input->source),
                   CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        error_ = "could not open the MIDI input";
        return nullptr;
    }
    input->handle = handle;
    if (midiInStart(handle) != MMSYSERR_NOERROR) {
        error_ = "could not start the MIDI input";
        return nullptr;
    }
    return input;
}

std::vector<MidiOutputInfo> WinMmMidiBackend::listOutputs() {
    std::vector<MidiOutputInfo> out;
    const UINT count = midiOutGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        MIDIOUTCAPSW caps{};
        if (midiOutGetDevCapsW(i, &caps, sizeof caps) != MMSYSERR_NOERROR) continue;
        std::string name = toUtf8(caps.szPname, MAXPNAMELEN);
        if (!name.empty()) out.push_back({i, std::move(name)});
    }
    return out;
}

std::unique_ptr<IMidiBackend> createMidiBackend(const MidiBackendOptions&) {
    return std::make_unique<WinMmMidiBackend>();
}

} // namespace vyn
