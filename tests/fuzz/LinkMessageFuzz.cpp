// The Link message reader on any text a surface sends: whatever it accepts is in range. A
// command is an ordinal 0-64 that carries no track, for deck -1 to 15, with a finite value; a
// browse intent names deck 0-15 and a catalogue id of 1 or more; a pairing code is at most 256
// bytes.

#include "FuzzTarget.h"
#include "control/link/LinkProtocol.h"
#include "engine/Command.h"

#include <cmath>
#include <string_view>

VYN_FUZZ_TARGET(link) {
    const vyn::LinkMessage m =
        vyn::parseLinkMessage(std::string_view(reinterpret_cast<const char*>(data), size));
    switch (m.kind) {
    case vyn::LinkMessageKind::Command:
        vyn::fuzz::require(m.intent.hasCommand && m.intent.command >= 0 && m.intent.command <= 64 &&
                               m.intent.command != static_cast<int>(vyn::CommandType::LOAD_TRACK) &&
                               m.intent.command !=
                                   static_cast<int>(vyn::CommandType::REPLACE_TRACK),
                           "commands are in range and carry no track");
        vyn::fuzz::require(m.intent.deck >= -1 && m.intent.deck <= 15 &&
                               std::isfinite(m.intent.value),
                           "a command's deck is in range and its value finite");
        break;
    case vyn::LinkMessageKind::Browse:
        vyn::fuzz::require(m.browse.deck >= 0 && m.browse.deck <= 15, "browse decks are in range");
        vyn::fuzz::require(m.browse.kind == vyn::BrowseIntent::PICK ? m.browse.row >= 0
                                                                    : m.browse.trackId >= 1,
                           "browse rows and ids are in range");
        break;
    case vyn::LinkMessageKind::Hello:
        vyn::fuzz::require(m.pair.size() <= 256, "pairing codes are short");
        break;
    case vyn::LinkMessageKind::Ignored:
        break;
    }
}
