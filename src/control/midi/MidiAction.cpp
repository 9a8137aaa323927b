#include "control/midi/MidiAction.h"

namespace vyn {

namespace {

struct ActionText {
    const char* name;
    const char* label;
};

constexpr ActionText kActions[kMidiActionCount] = {
    {"none", nullptr},
    {"playPause", "play / pause"},
    {"play", nullptr},
    {"pause", nullptr},
    {"cueBus", "monitor"},
    {"sync", "sync"},
    {"syncMaster", "master"},
    {"keylock", "keylock"},
    {"fader", "channel fader"},
    {"trim", "trim"},
    {"eqLow", "EQ low"},
    {"eqMid", "EQ mid"},
    {"eqHigh", "EQ high"},
    {"rate", "tempo"},
    {"playhead", "needle drop"},
    {"jogTouch", "jog top touch"},
    {"jog", "jog top movement"},
    {"jogRing", "jog outer ring"},
    {"filter", "filter"},
    {"filterResonance", nullptr},
    {"hotCue", "hot cue"},
    {"hotCueSet", "hot cue set"},
    {"hotCueClear", "hot cue clear"},
    {"cuePoint", "cue (CDJ)"},
    {"loopIn", "loop in"},
    {"loopOut", "loop out"},
    {"reloopExit", "reloop / exit"},
    {"beatLoop", "beat loop"},
    {"loopHalve", "loop 1/2x"},
    {"loopDouble", "loop 2x"},
    {"beatJump", "beat jump"},
    {"loopAdjust", "loop adjust (search)"},
    {"slip", "slip"},
    {"reverse", "reverse"},
    {"slipReverse", "slip reverse"},
    {"masterGain", nullptr},
    {"quantise", "quantise"},
    {"fxTarget", "fx to this channel"},
    {"fxTargetMaster", "fx to master"},
    {"fxEffect", nullptr},
    {"fxMode", nullptr},
    {"fxMix", "fx mix"},
    {"fxParam", "fx parameter"},
    {"fxResonance", nullptr},
    {"bankUp", "bank up"},
    {"bankDown", "bank down"},
    {"bankSet", nullptr},
    {"focusDeck", "focus deck"},
    {"modifier", "modifier (shift)"},
    {"browseScroll", "browse selector / waveform zoom"},
    {"browseView", "browse back / show"},
    {"browseLoad", "browse load / enter"},
    {"trackSearch", "track search next / prev"},
    {"keyShift", "key shift"},
    {"keySync", "key sync"},
    {"mcCue", nullptr},
    {"mcSyncHold", nullptr},
    {"mcBrowseBack", nullptr},
    {"mcRotary", nullptr},
    {"mcModeSwitch", nullptr},
    {"mcShift", nullptr},
    {"mcBeatJump", nullptr},
    {"mcBeatJumpCycle", nullptr},
    {"stemDrums", "stem drums (knob or kill)"},
    {"stemBass", "stem bass (knob or kill)"},
    {"stemVocals", "stem vocals (knob or kill)"},
    {"stemOther", "stem other (knob or kill)"},
    {"stems", "stems on / off"},
    {"platterRpm", nullptr},
};

constexpr const char* kModes[] = {"trigger", "toggle", "momentary", "absolute", "relative"};
constexpr const char* kRelatives[] = {"twos", "signed", "offset"};

} // namespace

const std::array<MidiAction, 51> kMidiWindowActions = {
    MidiAction::browseScroll, MidiAction::browseView,  MidiAction::browseLoad,
    MidiAction::trackSearch,  MidiAction::playPause,   MidiAction::cuePoint,
    MidiAction::cueBus,       MidiAction::sync,        MidiAction::syncMaster,
    MidiAction::keylock,      MidiAction::keyShift,    MidiAction::keySync,
    MidiAction::fader,        MidiAction::trim,        MidiAction::eqLow,
    MidiAction::eqMid,        MidiAction::eqHigh,      MidiAction::filter,
    MidiAction::rate,         MidiAction::playhead,    MidiAction::jogTouch,
    MidiAction::jog,          MidiAction::jogRing,     MidiAction::hotCue,
    MidiAction::hotCueSet,    MidiAction::hotCueClear, MidiAction::loopIn,
    MidiAction::loopOut,      MidiAction::reloopExit,  MidiAction::beatLoop,
    MidiAction::loopHalve,    MidiAction::loopDouble,  MidiAction::beatJump,
    MidiAction::loopAdjust,   MidiAction::slip,        MidiAction::reverse,
    MidiAction::slipReverse,  MidiAction::stems,       MidiAction::stemDrums,
    MidiAction::stemBass,     MidiAction::stemVocals,  MidiAction::stemOther,
    MidiAction::quantise,     MidiAction::fxTarget,    MidiAction::fxTargetMaster,
    MidiAction::fxMix,        MidiAction::fxParam,     MidiAction::bankUp,
    MidiAction::bankDown,     MidiAction::focusDeck,   MidiAction::modifier,
};

const char* midiActionName(std::uint16_t action) {
    return action < kMidiActionCount ? kActions[action].name : nullptr;
}

const char* midiActionLabel(std::uint16_t action) {
    return action < kMidiActionCount ? kActions[action].label : nullptr;
}

std::optional<MidiAction> midiActionFromName(std::string_view name) {
    for (std::uint16_t i = 0; i < kMidiActionCount; ++i)
        if (name == kActions[i].name) return static_cast<MidiAction>(i);
    return std::nullopt;
}

const char* midiModeName(std::uint8_t mode) {
    return mode < 5 ? kModes[mode] : kModes[0];
}

const char* midiRelativeName(std::uint8_t relative) {
    return relative < 3 ? kRelatives[relative] : kRelatives[0];
}

std::optional<MidiMode> midiModeFromName(std::string_view name) {
    for (std::uint8_t i = 0; i < 5; ++i)
        if (name == kModes[i]) return static_cast<MidiMode>(i);
    return std::nullopt;
}

std::optional<MidiRelative> midiRelativeFromName(std::string_view name) {
    for (std::uint8_t i = 0; i < 3; ++i)
        if (name == kRelatives[i]) return static_cast<MidiRelative>(i);
    return std::nullopt;
}

} // namespace vyn
