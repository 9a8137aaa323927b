// The mapping file reader on any text: a refusal leaves the mapping as it was; an accepted file
// writes a text that reads back to the same mapping, and writing that again changes nothing.
// The one known exception is the format's own: a label whose text begins with "mod=" (once line
// breaks and leading blanks are gone) is read back as a modifier field.

#include "FuzzTarget.h"
#include "control/midi/MidiMappingFile.h"

#include <string_view>

namespace {

bool labelLooksLikeAModifier(std::string label) {
    for (char& c : label)
        if (c == '\r' || c == '\n') c = ' ';
    const std::size_t start = label.find_first_not_of(" \t");
    return start != std::string::npos && label.compare(start, 4, "mod=") == 0;
}

} // namespace

VYN_FUZZ_TARGET(vynmap) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    vyn::MidiMapping mapping;
    mapping.device = "untouched";
    const vyn::MidiMappingReadResult read = vyn::readMidiMapping(text, mapping);
    if (!read.ok) {
        vyn::fuzz::require(!read.message.empty() && mapping.device == "untouched",
                           "a refused text says why and changes nothing");
        return;
    }
    for (const vyn::MidiBinding& b : mapping.bindings)
        if (labelLooksLikeAModifier(b.label)) return;
    const std::string written = vyn::writeMidiMapping(mapping);
    vyn::MidiMapping again;
    const vyn::MidiMappingReadResult reread = vyn::readMidiMapping(written, again);
    vyn::fuzz::require(reread.ok && reread.dropped == 0, "what was written reads back whole");
    vyn::fuzz::require(vyn::writeMidiMapping(again) == written,
                       "a mapping that reads back writes the same text");
}
