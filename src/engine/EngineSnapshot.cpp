#include "engine/EngineSnapshot.h"

namespace vyn {

std::uint32_t deckFlags(const DeckSnapshot& d) {
    using namespace deck_flags;
    std::uint32_t f = 0;
    if (d.cue) f |= CUE;
    if (d.keylock) f |= KEYLOCK;
    if (d.hasGrid) f |= GRID;
    if (d.sync) f |= SYNC;
    if (d.isMaster) f |= MASTER;
    if (d.preview) f |= PREVIEW;
    if (d.looping) f |= LOOPING;
    if (d.loopInAdjust) f |= IN_ADJ;
    if (d.loopOutAdjust) f |= OUT_ADJ;
    if (d.slip) f |= SLIP;
    if (d.slipActive) f |= SLIP_ACTIVE;
    if (d.reverse) f |= REVERSE;
    if (d.slipReverse) f |= SLIP_REVERSE;
    if (d.keySync) f |= KEY_SYNC;
    if (d.hasKey) f |= HAS_KEY;
    if (d.jogging) f |= JOGGING;
    if (d.stemsAvailable) f |= STEMS_AVAIL;
    if (d.stemsOn) f |= STEMS_ON;
    return f;
}

} // namespace vyn
