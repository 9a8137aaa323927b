// Windows: the clock thread writes each real-time byte (clock, start, stop) to a WinMM output as
// a one-byte short message. WinMM has no timed sends, so the thread's own timing is the clock's.

#include "control/midi/MidiClockOutput.h"

#include <windows.h>

#include <mmsystem.h>

namespace vyn {
namespace {

class WinMmByteOutput final : public IMidiByteOutput {
public:
    explicit WinMmByteOutput(HMIDIOUT handle) : handle_(handle) {}
    ~WinMmByteOutput() override {
        midiOutReset(handle_);
        midiOutClose(handle_);
    }
    WinMmByteOutput(const WinMmByteOutput&) = delete;
    WinMmByteOutput& operator=(const WinMmByteOutput&) = delete;

    void send(std::uint8_t byte) override { midiOutShortMsg(handle_, byte); }

private:
    HMIDIOUT handle_;
};

} // namespace

std::unique_ptr<IMidiClockDriver> openPlatformClockDriver(const MidiOutputInfo& output, bool,
                                                          bool) {
    HMIDIOUT handle = nullptr;
    if (midiOutOpen(&handle, static_cast<UINT>(output.index), 0, 0, CALLBACK_NULL) !=
        MMSYSERR_NOERROR)
        return nullptr;
    return makeThreadedClockDriver(std::make_unique<WinMmByteOutput>(handle));
}

} // namespace vyn
