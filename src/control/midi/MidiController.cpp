#include "control/midi/MidiController.h"

namespace vyn {

void MidiController::installMapping(MidiMapping next) {
    mapping = std::move(next);
    trackSearchHeld = 0;
    browseAccumulator = 0.0;
    browsePending = false;
    browsePendingDeck = 0;
    mode = 0;
    syncTapPending = false;
    syncTapTime = 0;
    rotaryLast = -1;
    suppressUntil = 0;
    shiftLatch = false;
}

int MidiController::deckOf(const MidiBinding& binding) const {
    // Computed wide: a slot from a mapping file may be large or negative.
    const std::int64_t deck = binding.slot == -1 ? static_cast<std::int64_t>(shared->focusedDeck)
                                                 : static_cast<std::int64_t>(binding.slot) +
                                                       static_cast<std::int64_t>(kBankSize) * bank;
    return deck >= 0 && deck < 16 ? static_cast<int>(deck) : -1;
}

} // namespace vyn
