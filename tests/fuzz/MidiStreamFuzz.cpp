// The MIDI stream parser on any byte stream: every message has a status byte and data bytes
// below 128 with its kind and channel taken from the status; a stream cut into pieces anywhere
// gives the same messages as the whole; messages beyond the caller's room are counted, not lost
// silently.

#include "FuzzTarget.h"
#include "control/midi/MidiStreamParser.h"

#include <algorithm>
#include <vector>

VYN_FUZZ_TARGET(midi) {
    if (size == 0) return;
    const std::size_t piece = 1 + data[0] % 7; // the first byte chooses how the stream is cut
    ++data;
    --size;

    std::vector<vyn::MidiMessage> whole(size + 1);
    vyn::MidiStreamParser one;
    whole.resize(one.parse(data, size, whole.data(), whole.size()));
    for (const vyn::MidiMessage& m : whole) {
        vyn::fuzz::require(m.status >= 0x80 && m.data1 < 128 && m.data2 < 128,
                           "a status byte and data bytes below 128");
        vyn::fuzz::require(m.kind == static_cast<std::uint8_t>(vyn::midiKindOfStatus(m.status)) &&
                               m.kind != 0,
                           "the kind is the status byte's");
        vyn::fuzz::require(m.channel == (m.status < 0xF0 ? (m.status & 0x0F) : 0),
                           "the channel is the status byte's");
    }

    std::vector<vyn::MidiMessage> pieces;
    vyn::MidiStreamParser cut;
    vyn::MidiMessage room[8];
    for (std::size_t at = 0; at < size; at += piece) {
        const std::size_t n = std::min(piece, size - at);
        const std::size_t got = cut.parse(data + at, n, room, 8);
        pieces.insert(pieces.end(), room, room + got);
    }
    vyn::fuzz::require(cut.overflow() == 0 && pieces.size() == whole.size() &&
                           std::equal(pieces.begin(), pieces.end(), whole.begin(),
                                      [](const vyn::MidiMessage& a, const vyn::MidiMessage& b) {
                                          return a.kind == b.kind && a.status == b.status &&
                                                 a.channel == b.channel && a.data1 == b.data1 &&
                                                 a.data2 == b.data2;
                                      }),
                       "a stream in pieces gives the messages of the whole");

    vyn::MidiStreamParser tight;
    vyn::MidiMessage single;
    const std::size_t kept = tight.parse(data, size, &single, 1);
    vyn::fuzz::require(kept + tight.overflow() == whole.size(),
                       "messages beyond the room are counted");
}
