#pragma once
// The mapping file (.vynmap): a controller's device name, deck count and bindings as small
// line-oriented UTF-8 text. The same text is kept per device in the settings and as presets.
// Reading never depends on the locale; a bad line is skipped and counted, only a missing header
// fails the whole text.

#include "control/midi/MidiBinding.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vyn {

struct MidiMappingReadResult {
    bool ok = false;
    std::string message;       // empty on success
    std::uint32_t read = 0;    // bindings read (a replaced one counts too)
    std::uint32_t dropped = 0; // lines skipped
};

std::string writeMidiMapping(const MidiMapping& mapping);

// On success `out` is replaced by the text's mapping; on failure it is left as it was.
MidiMappingReadResult readMidiMapping(std::string_view text, MidiMapping& out);

namespace midi_mapping {
// Optional sign and decimal digits only; fails beyond 100000000 in magnitude.
bool parseInteger(std::string_view text, std::int64_t& out);
// Optional sign, digits with an optional fraction, optional exponent of at most 308; the value
// must be finite (a number too large for a double fails; one too small reads as 0).
bool parseNumber(std::string_view text, double& out);
// "%.10g" in every locale.
std::string formatNumber(double value);
} // namespace midi_mapping

} // namespace vyn
