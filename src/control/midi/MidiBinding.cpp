#include "control/midi/MidiBinding.h"

namespace vyn {

std::uint8_t midiBindingClass(const MidiMessage& message) {
    switch (message.midiKind()) {
    case MidiKind::NoteOn:
    case MidiKind::NoteOff:
        return midi_class::note;
    case MidiKind::PolyAftertouch:
        return midi_class::poly;
    case MidiKind::ControlChange:
        return midi_class::cc;
    case MidiKind::ProgramChange:
        return midi_class::program;
    case MidiKind::ChannelPressure:
        return midi_class::touch;
    case MidiKind::PitchBend:
        return midi_class::pitch;
    default:
        return 0;
    }
}

bool sameBindingKey(const MidiBinding& a, const MidiBinding& b) {
    if (a.mod != b.mod || a.kind != b.kind || a.channel != b.channel) return false;
    if (a.numberMatters() && a.number != b.number) return false;
    return a.port == -1 || b.port == -1 || a.port == b.port;
}

} // namespace vyn
