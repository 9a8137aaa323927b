#pragma once
// The vocabulary of MIDI bindings: what a bound control does (MidiAction, whose names are stored
// in mapping files and whose ordinals never change), how the message value becomes a command
// value (MidiMode) and how relative encoders are decoded (MidiRelative).

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vyn {

enum class MidiAction : std::uint16_t {
    none = 0,
    playPause = 1,
    play = 2,
    pause = 3,
    cueBus = 4,
    sync = 5,
    syncMaster = 6,
    keylock = 7,
    fader = 8,
    trim = 9,
    eqLow = 10,
    eqMid = 11,
    eqHigh = 12,
    rate = 13,
    playhead = 14,
    jogTouch = 15,
    jog = 16,
    jogRing = 17,
    filter = 18,
    filterResonance = 19,
    hotCue = 20,
    hotCueSet = 21,
    hotCueClear = 22,
    cuePoint = 23,
    loopIn = 24,
    loopOut = 25,
    reloopExit = 26,
    beatLoop = 27,
    loopHalve = 28,
    loopDouble = 29,
    beatJump = 30,
    loopAdjust = 31,
    slip = 32,
    reverse = 33,
    slipReverse = 34,
    masterGain = 35,
    quantise = 36,
    fxTarget = 37,
    fxTargetMaster = 38,
    fxEffect = 39,
    fxMode = 40,
    fxMix = 41,
    fxParam = 42,
    fxResonance = 43,
    bankUp = 44,
    bankDown = 45,
    bankSet = 46,
    focusDeck = 47,
    modifier = 48,
    browseScroll = 49,
    browseView = 50,
    browseLoad = 51,
    trackSearch = 52,
    keyShift = 53,
    keySync = 54,
    mcCue = 55,
    mcSyncHold = 56,
    mcBrowseBack = 57,
    mcRotary = 58,
    mcModeSwitch = 59,
    mcShift = 60,
    mcBeatJump = 61,
    mcBeatJumpCycle = 62,
    stemDrums = 63,
    stemBass = 64,
    stemVocals = 65,
    stemOther = 66,
    stems = 67,
    platterRpm = 68,
};

inline constexpr std::uint16_t kMidiActionCount = 69;

enum class MidiMode : std::uint8_t {
    trigger = 0,
    toggle = 1,
    momentary = 2,
    absolute = 3,
    relative = 4
};
enum class MidiRelative : std::uint8_t { twos = 0, signedMagnitude = 1, offset = 2 };

// The stored name of an action ("playPause"); nullptr for ordinals without one.
const char* midiActionName(std::uint16_t action);
// The label the MIDI window shows ("play / pause"); nullptr for actions it does not offer.
const char* midiActionLabel(std::uint16_t action);
std::optional<MidiAction> midiActionFromName(std::string_view name);

// The 51 labelled actions in the order the MIDI window lists them.
extern const std::array<MidiAction, 51> kMidiWindowActions;

const char* midiModeName(std::uint8_t mode);         // "trigger" for values outside the list
const char* midiRelativeName(std::uint8_t relative); // "twos" for values outside the list
std::optional<MidiMode> midiModeFromName(std::string_view name);
std::optional<MidiRelative> midiRelativeFromName(std::string_view name);

} // namespace vyn
