#include "control/midi/MidiMessage.h"

#include "support/Utf8.h"

#include <cstdio>
#include <cstring>

namespace vyn {

MidiMessage MidiMessage::fromBytes(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    MidiMessage m;
    m.kind = static_cast<std::uint8_t>(midiKindOfStatus(status));
    m.status = status;
    m.channel = status < 0xF0 ? static_cast<std::uint8_t>(status & 0x0F) : 0;
    const int n = midiDataLength(status);
    m.data1 = n >= 1 ? data1 : 0;
    m.data2 = n >= 2 ? data2 : 0;
    return m;
}

int midiDataLength(std::uint8_t status) {
    if (status < 0x80) return 0;
    if (status < 0xC0) return 2;
    if (status < 0xE0) return 1;
    if (status < 0xF0) return 2;
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 1;
    case 0xF2:
        return 2;
    default:
        return 0;
    }
}

MidiKind midiKindOfStatus(std::uint8_t status) {
    if (status < 0x80) return MidiKind::None;
    if (status >= 0xF8) return MidiKind::SystemRealtime;
    if (status >= 0xF0) return MidiKind::SystemCommon;
    return static_cast<MidiKind>(((status >> 4) & 0x07) + 1);
}

const char* midiStatusName(std::uint8_t status) {
    if (status >= 0x80 && status < 0xF0) {
        static const char* const kChannel[] = {"note off", "note on",  "aftertouch", "cc",
                                               "program",  "pressure", "pitch bend"};
        return kChannel[(status >> 4) - 8];
    }
    switch (status) {
    case 0xF0:
        return "sysex";
    case 0xF1:
        return "mtc";
    case 0xF2:
        return "song pos";
    case 0xF3:
        return "song sel";
    case 0xF6:
        return "tune";
    case 0xF7:
        return "sysex end";
    case 0xF8:
        return "clock";
    case 0xFA:
        return "start";
    case 0xFB:
        return "continue";
    case 0xFC:
        return "stop";
    case 0xFE:
        return "sensing";
    case 0xFF:
        return "reset";
    default:
        return "?";
    }
}

std::size_t formatMidiMessage(const MidiMessage& m, char* buffer, std::size_t size) {
    if (!buffer || size == 0) return 0;
    const int ch = m.channel + 1;
    const char* name = midiStatusName(m.status);
    int n = 0;
    switch (m.midiKind()) {
    case MidiKind::NoteOff:
    case MidiKind::NoteOn: {
        const bool on = m.midiKind() == MidiKind::NoteOn && m.data2 > 0;
        n = std::snprintf(buffer, size, "ch%-3d %-10s note %3d  vel %3d", ch,
                          on ? "note on" : "note off", m.data1, m.data2);
        break;
    }
    case MidiKind::PolyAftertouch:
        n = std::snprintf(buffer, size, "ch%-3d %-10s note %3d  val %3d", ch, name, m.data1,
                          m.data2);
        break;
    case MidiKind::ControlChange:
        n = std::snprintf(buffer, size, "ch%-3d %-10s num  %3d  val %3d", ch, name, m.data1,
                          m.data2);
        break;
    case MidiKind::ProgramChange:
    case MidiKind::ChannelPressure:
        n = std::snprintf(buffer, size, "ch%-3d %-10s val  %3d", ch, name, m.data1);
        break;
    case MidiKind::PitchBend:
        n = std::snprintf(buffer, size, "ch%-3d %-10s %+6d", ch, name,
                          (m.data2 * 128 + m.data1) - 8192);
        break;
    case MidiKind::SystemRealtime:
        n = std::snprintf(buffer, size, "--    %-10s", name);
        break;
    case MidiKind::SystemCommon:
        n = std::snprintf(buffer, size, "--    %-10s %3d  %3d", name, m.data1, m.data2);
        break;
    default:
        n = std::snprintf(buffer, size, "(none)");
        break;
    }
    if (n < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

std::string formatMidiMessage(const MidiMessage& message) {
    char buffer[64];
    const std::size_t n = formatMidiMessage(message, buffer, sizeof buffer);
    return std::string(buffer, n);
}

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        // ASCII folding only: the prefixes are ASCII and the result must not depend on a locale.
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(s[i]) != lower(prefix[i])) return false;
    }
    return true;
}

} // namespace

std::string midiDeviceLabel(std::string_view name) {
    std::string_view s = trim(name);
    for (std::string_view prefix : {"Pioneer DJ ", "AlphaTheta ", "Pioneer "}) {
        if (startsWithNoCase(s, prefix)) {
            s = trim(s.substr(prefix.size()));
            break;
        }
    }
    if (s.empty()) return "MIDI";
    // Cut on a code point boundary so a label of multi-byte characters stays valid text.
    return std::string(utf8::truncate(s, 14));
}

} // namespace vyn
