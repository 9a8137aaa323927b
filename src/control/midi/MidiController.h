#pragma once
// The state of one MIDI controller (one per distinct input device name): its mapping, bank,
// held modifiers, jog touches, track search and the controller-mode state. It survives device
// replugs because it is keyed by name. The focused deck and the platter speed table are shared
// by every controller (MidiSurfaceState, owned by the hub).
//
// Threading: none of its own. The hub guards every controller with its MIDI mutex.

#include "control/midi/MidiBinding.h"

#include <cstdint>
#include <string>

namespace vyn {

struct MidiSurfaceState {
    std::int32_t focusedDeck = 0; // 0-15; the main window may set it too
    double platterRpm[16] = {};   // written by platterRpm bindings; 0 = not set
};

struct MidiController {
    static constexpr int kBankSize = 2;
    static constexpr int kHighestBank = 7;

    explicit MidiController(MidiSurfaceState& surface) : shared(&surface) {}

    // Replaces the mapping. Bank, held modifiers and jog touches stay (the hands on the
    // controller have not moved); track search, browse, mode, rotary, sync-tap and shift state
    // start afresh.
    void installMapping(MidiMapping next);

    // The deck a binding acts on (0-15), or -1 when it resolves to none.
    int deckOf(const MidiBinding& binding) const;

    std::string deviceName; // the input device this controller belongs to (its key)
    MidiMapping mapping;
    int bank = 0;
    MidiSurfaceState* shared;

    bool learning = false;
    MidiBinding learnTemplate;
    MidiBinding lastLearned;

    std::uint8_t heldModifiers = 0;
    std::uint8_t trackSearchHeld = 0; // bit 0 forward, bit 1 back
    double browseAccumulator = 0.0;
    bool browsePending = false;
    std::int32_t browsePendingDeck = 0;
    std::uint32_t jogTouchMask = 0;

    int mode = 0; // controller mode 0-3 (mcModeSwitch)
    std::int32_t rotaryLast = -1;
    std::uint32_t suppressUntil = 0; // ms; 0 = not suppressed
    bool syncTapPending = false;
    std::uint32_t syncTapTime = 0;
    bool shiftLatch = false;
};

} // namespace vyn
