#include "control/midi/MidiStreamParser.h"

namespace vyn {

void MidiStreamParser::reset() noexcept {
    runningStatus_ = 0;
    data_[0] = data_[1] = 0;
    count_ = 0;
    expected_ = 0;
    status_ = 0;
    inSysex_ = false;
    overflow_ = 0;
}

void MidiStreamParser::emit(const MidiMessage& m, MidiMessage* out, std::size_t capacity,
                            std::size_t& written) noexcept {
    if (out && written < capacity)
        out[written++] = m;
    else
        ++overflow_;
}

std::size_t MidiStreamParser::parse(const std::uint8_t* bytes, std::size_t length, MidiMessage* out,
                                    std::size_t capacity) noexcept {
    std::size_t written = 0;
    if (!bytes) return 0;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t b = bytes[i];
        if (b >= 0xF8) {
            // Real-time bytes may sit anywhere, even between the data bytes of another message.
            emit(MidiMessage::fromBytes(b), out, capacity, written);
            continue;
        }
        if (b == 0xF0) {
            inSysex_ = true;
            status_ = 0;
            count_ = 0;
            runningStatus_ = 0;
            continue;
        }
        if (b == 0xF7) {
            inSysex_ = false;
            count_ = 0;
            status_ = 0;
            continue;
        }
        if (b >= 0x80) {
            inSysex_ = false;
            count_ = 0;
            status_ = b;
            expected_ = static_cast<std::uint8_t>(midiDataLength(b));
            runningStatus_ = b < 0xF0 ? b : 0;
            if (expected_ == 0) {
                emit(MidiMessage::fromBytes(b), out, capacity, written);
                status_ = 0;
            }
            continue;
        }
        // Data byte.
        if (inSysex_) continue;
        if (status_ == 0) {
            if (runningStatus_ == 0) continue;
            status_ = runningStatus_;
            expected_ = static_cast<std::uint8_t>(midiDataLength(status_));
            count_ = 0;
        }
        if (count_ < 2) data_[count_] = b;
        ++count_;
        if (count_ >= expected_) {
            emit(MidiMessage::fromBytes(status_, data_[0], expected_ >= 2 ? data_[1] : 0), out,
                 capacity, written);
            count_ = 0;
            status_ = runningStatus_;
        }
    }
    return written;
}

} // namespace vyn
