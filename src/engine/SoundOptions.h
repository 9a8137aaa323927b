#pragma once
// Sound-quality choices that apply to every deck at once: which time-stretcher serves key lock,
// which EQ the channel strips use, and how the varispeed reader interpolates. The engine host
// takes a new set from any thread and hands it to the decks at the start of the next render block,
// so each deck can change over at a block boundary without a click.

#include <cstdint>

namespace vyn {

struct SoundOptions {
    int keylockQuality = 0; // 0 = WSOLA stretcher, 1 = high-quality stretcher
    int eqType = 0;         // 0 = isolator crossovers, 1 = one-pole split
    int interpolation = 0;  // 0 = linear, 1 = band-limited

    bool operator==(const SoundOptions&) const = default;

    // One word, so the engine can hold the current choice in a single atomic.
    std::uint32_t pack() const noexcept {
        return static_cast<std::uint32_t>(keylockQuality & 0xff) |
               static_cast<std::uint32_t>(eqType & 0xff) << 8 |
               static_cast<std::uint32_t>(interpolation & 0xff) << 16;
    }
    static SoundOptions unpack(std::uint32_t word) noexcept {
        SoundOptions o;
        o.keylockQuality = static_cast<int>(word & 0xff);
        o.eqType = static_cast<int>(word >> 8 & 0xff);
        o.interpolation = static_cast<int>(word >> 16 & 0xff);
        return o;
    }
};

} // namespace vyn
