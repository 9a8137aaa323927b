#include "engine/MidiCapture.h"

namespace vyn {

void MidiCapture::capture(int port, std::uint8_t status, std::uint8_t data1,
                          std::uint8_t data2) noexcept {
    const std::uint32_t id = clock_.recordingId();
    if (id == 0) return;
    CapturedMidi r;
    r.frame = clock_.framesSinceStart();
    r.recordingId = id;
    r.port = static_cast<std::uint16_t>(port < 0 ? 0xFFFF : port);
    r.status = status;
    r.data1 = data1;
    r.data2 = data2;
    if (!ring_.push(r)) dropped_.fetch_add(1, std::memory_order_relaxed);
}

} // namespace vyn
