#pragma once
// Musical keys as the engine stores them: a pitch class (C = 0 ... B = 11, 255 = no key) and a
// mode (0 major, 1 minor), packed into a 16-bit key code with the pitch class in the low byte.
// The parser reads the two notations DJ libraries use: the numbered wheel ("8A", "12B") and note
// names ("F#m", "Bb", "E minor", "Dbmaj").

#include <cstdint>
#include <string_view>

namespace vyn {

inline constexpr std::uint8_t kNoPitchClass = 255;
inline constexpr std::uint8_t kMajorMode = 0;
inline constexpr std::uint8_t kMinorMode = 1;

struct KeyCode {
    std::uint8_t pitchClass = kNoPitchClass;
    std::uint8_t mode = kMajorMode;

    bool known() const { return pitchClass <= 11; }
    bool minor() const { return mode != kMajorMode; }
    std::uint16_t value() const {
        return known() ? static_cast<std::uint16_t>(pitchClass | (mode << 8)) : 255;
    }
    static KeyCode fromValue(std::uint16_t code) {
        return {static_cast<std::uint8_t>(code & 0xFF), static_cast<std::uint8_t>(code >> 8)};
    }
    friend bool operator==(const KeyCode&, const KeyCode&) = default;
};

// Leading white space is skipped and only white space may follow the key; anything else gives
// the unknown key (pitch class 255, major).
KeyCode parseKeyNotation(std::string_view text);

} // namespace vyn
