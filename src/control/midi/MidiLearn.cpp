#include "control/midi/MidiLearn.h"

#include "control/midi/MidiMappingFile.h"

#include <cstdio>

namespace vyn {

MidiBinding midiLearnTemplate(std::string_view actionName, std::string_view modeName, int slot,
                              int shift) {
    MidiBinding b;
    b.port = -1;
    b.kind = 0;
    const MidiAction action = midiActionFromName(actionName).value_or(MidiAction::none);
    b.action = static_cast<std::uint16_t>(action);
    const char* name = midiActionName(b.action);
    b.label = name ? name : "none";
    b.mode = static_cast<std::uint8_t>(midiModeFromName(modeName).value_or(MidiMode::trigger));
    b.slot = slot < -1 || slot > 7 ? 0 : slot;
    b.relative = static_cast<std::uint8_t>(MidiRelative::twos);
    b.min = 0.0;
    b.max = 1.0;
    b.step = 0.01;
    b.param = 0.0;
    b.mod = static_cast<std::uint8_t>(shift < 0 || shift > 8 ? 0 : shift);
    return b;
}

bool midiLearnCapture(MidiController& controller, const MidiMessage& message) {
    if (!controller.learning) return false;
    std::uint8_t kind = 0;
    switch (message.midiKind()) {
    case MidiKind::NoteOn:
        if (message.data2 > 0) kind = midi_class::note;
        break;
    case MidiKind::PolyAftertouch:
    case MidiKind::ControlChange:
    case MidiKind::ProgramChange:
    case MidiKind::ChannelPressure:
    case MidiKind::PitchBend:
        kind = midiBindingClass(message);
        break;
    default:
        break;
    }
    if (kind == 0) return false;

    MidiBinding learned = controller.learnTemplate;
    learned.port = -1;
    learned.kind = kind;
    learned.channel = message.channel;
    learned.number = learned.numberMatters() ? message.data1 : 0;

    bool replaced = false;
    for (MidiBinding& existing : controller.mapping.bindings) {
        // Ports are not compared: learn always writes "any port".
        if (existing.mod != learned.mod || existing.kind != learned.kind ||
            existing.channel != learned.channel)
            continue;
        if (learned.numberMatters() && existing.number != learned.number) continue;
        existing = learned;
        replaced = true;
        break;
    }
    if (!replaced) controller.mapping.bindings.push_back(learned);
    controller.lastLearned = learned;
    controller.learning = false;
    return true;
}

std::string midiBindingAddress(const MidiBinding& b) {
    char text[64];
    char port[8];
    if (b.port == -1)
        std::snprintf(port, sizeof port, "*");
    else
        std::snprintf(port, sizeof port, "%d", b.port);
    const int n = std::snprintf(text, sizeof text, "p%s ch%d", port, b.channel + 1);
    const std::size_t at = static_cast<std::size_t>(n);
    switch (b.kind) {
    case midi_class::note:
        std::snprintf(text + at, sizeof text - at, " note %d", b.number);
        break;
    case midi_class::poly:
        std::snprintf(text + at, sizeof text - at, " poly %d", b.number);
        break;
    case midi_class::cc:
        std::snprintf(text + at, sizeof text - at, " cc %d", b.number);
        break;
    case midi_class::program:
        std::snprintf(text + at, sizeof text - at, " program %d", b.number);
        break;
    case midi_class::touch:
        std::snprintf(text + at, sizeof text - at, " pressure");
        break;
    case midi_class::pitch:
        std::snprintf(text + at, sizeof text - at, " bend");
        break;
    default:
        break;
    }
    return text;
}

std::string midiBindingDetail(const MidiBinding& b) {
    static constexpr const char* kDot = "  \xC2\xB7  ";
    std::string text = midiModeName(b.mode);
    text += kDot;
    text += b.slot == -1 ? std::string("focus") : "slot " + std::to_string(b.slot + 1);
    if (b.mod != 0) {
        text += kDot;
        text += "shift " + std::to_string(b.mod);
    }
    return text;
}

int midiUsualMode(MidiAction action) {
    switch (action) {
    case MidiAction::browseScroll:
        return static_cast<int>(MidiMode::relative);
    case MidiAction::browseView:
    case MidiAction::browseLoad:
    case MidiAction::keyShift:
    case MidiAction::keySync:
        return static_cast<int>(MidiMode::trigger);
    case MidiAction::quantise:
    case MidiAction::sync:
    case MidiAction::keylock:
    case MidiAction::slip:
    case MidiAction::reverse:
    case MidiAction::stems:
    case MidiAction::slipReverse:
        return static_cast<int>(MidiMode::toggle);
    case MidiAction::trackSearch:
        return static_cast<int>(MidiMode::momentary);
    default:
        return -1;
    }
}

int mergeMidiPreset(MidiMapping& into, const MidiMapping& preset) {
    int changed = 0;
    for (const MidiBinding& p : preset.bindings) {
        MidiBinding* existing = nullptr;
        for (MidiBinding& b : into.bindings)
            if (sameBindingKey(b, p)) {
                existing = &b;
                break;
            }
        if (!existing) {
            into.bindings.push_back(p);
            ++changed;
            continue;
        }
        const MidiAction was = existing->midiAction();
        const MidiAction offered = p.midiAction();
        const bool shiftUpgrade = was == MidiAction::modifier && offered == MidiAction::mcShift;
        const bool modeUpgrade = was == MidiAction::mcModeSwitch && existing->param == 0.0 &&
                                 offered == MidiAction::mcModeSwitch && p.param != 0.0;
        if (shiftUpgrade || modeUpgrade) {
            *existing = p;
            ++changed;
        }
    }
    return changed;
}

bool sameMidiMapping(const MidiMapping& a, const MidiMapping& b) {
    return writeMidiMapping(a) == writeMidiMapping(b);
}

} // namespace vyn
