#include "control/midi/MidiDispatch.h"

#include "control/midi/MidiLearn.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

namespace vyn {

namespace midi_dispatch {

constexpr GenericAction kGeneric[] = {
    {MidiAction::cueBus, CommandType::SET_CUE, Flag::cue},
    {MidiAction::sync, CommandType::SET_SYNC, Flag::sync},
    {MidiAction::keylock, CommandType::SET_KEYLOCK, Flag::keylock},
    {MidiAction::fader, CommandType::SET_FADER, Flag::none},
    {MidiAction::trim, CommandType::SET_TRIM, Flag::none},
    {MidiAction::eqLow, CommandType::SET_EQ_LOW, Flag::none},
    {MidiAction::eqMid, CommandType::SET_EQ_MID, Flag::none},
    {MidiAction::eqHigh, CommandType::SET_EQ_HIGH, Flag::none},
    {MidiAction::rate, CommandType::SET_RATE, Flag::none},
    {MidiAction::playhead, CommandType::SET_PLAYHEAD, Flag::none},
    {MidiAction::filter, CommandType::SET_FILTER, Flag::none},
    {MidiAction::filterResonance, CommandType::SET_FILTER_RESONANCE, Flag::none},
    {MidiAction::slip, CommandType::SET_SLIP, Flag::slip},
    {MidiAction::reverse, CommandType::SET_REVERSE, Flag::reverse},
    {MidiAction::slipReverse, CommandType::SET_SLIP_REVERSE, Flag::slipReverse},
    {MidiAction::stemDrums, CommandType::SET_STEM_DRUMS, Flag::stem0},
    {MidiAction::stemBass, CommandType::SET_STEM_BASS, Flag::stem1},
    {MidiAction::stemVocals, CommandType::SET_STEM_VOCALS, Flag::stem2},
    {MidiAction::stemOther, CommandType::SET_STEM_OTHER, Flag::stem3},
    {MidiAction::stems, CommandType::SET_STEMS, Flag::stems},
};

bool readFlag(Flag f, const DeckSnapshot& d) {
    switch (f) {
    case Flag::cue:
        return d.cue;
    case Flag::sync:
        return d.sync;
    case Flag::keylock:
        return d.keylock;
    case Flag::slip:
        return d.slip;
    case Flag::reverse:
        return d.reverse;
    case Flag::slipReverse:
        return d.slipReverse;
    case Flag::stem0:
    case Flag::stem1:
    case Flag::stem2:
    case Flag::stem3:
        return d.stemGains[static_cast<int>(f) - static_cast<int>(Flag::stem0)] >= 0.5f;
    case Flag::stems:
        return d.stemsOn;
    default:
        return false;
    }
}

void Dispatch::generic(const GenericAction& g) {
    if (deck_ == kNoDeck) return;
    const DeckSnapshot& d = deckState(deck_);
    double lo = b_.min;
    double hi = b_.max;
    // A rate range given below 0 is an offset from the track's own tempo.
    const bool rate = g.action == MidiAction::rate;
    if (rate && b_.min < 0.0) {
        lo += 1.0;
        hi += 1.0;
    }
    double value;
    switch (b_.midiMode()) {
    case MidiMode::toggle:
        if (!pressed_) return;
        value = g.flag == Flag::none ? hi : (readFlag(g.flag, d) ? 0.0 : 1.0);
        break;
    case MidiMode::momentary:
        value = pressed_ ? hi : lo;
        break;
    case MidiMode::absolute:
        if (g.action == MidiAction::playhead) {
            if (d.length < 1) return;
            value = static_cast<double>(d.length) * v_;
        } else {
            value = lo + (hi - lo) * v_;
        }
        break;
    case MidiMode::relative: {
        const int delta = midiRelativeDelta(b_.relative, valueByte(m_));
        if (delta == 0) return;
        const double base = rate ? d.userRate : g.action == MidiAction::playhead ? d.position : lo;
        value = clampRange(base + delta * b_.step, lo, hi);
        break;
    }
    default: // trigger (and any unknown mode)
        if (!pressed_) return;
        value = hi;
        break;
    }
    emit(g.command, deck_, value);
}

void Dispatch::fxEffect() {
    if (!pressed_ || !std::isfinite(b_.param)) return;
    const double t = std::trunc(b_.param);
    double value;
    if (t >= 0.0) {
        if (t > 15.0) return;
        value = t;
    } else {
        const std::uint32_t cur = s_.fxType;
        const bool known = cur >= 1 && cur <= 15;
        if (t == -1.0)
            value = known ? (cur == 15 ? 1 : cur + 1) : 1;
        else
            value = known ? (cur == 1 ? 15 : cur - 1) : 15;
    }
    emit(CommandType::SET_FX_TYPE, kNoDeck, value);
}

void Dispatch::fxLevel(CommandType type) {
    if (b_.midiMode() == MidiMode::trigger) {
        if (!pressed_) return;
        double value = b_.max;
        if (type == CommandType::SET_FX_PARAM && b_.param != 0.0)
            value = clampRange(s_.fxParam + b_.param, b_.min, b_.max);
        emit(type, kNoDeck, value);
        return;
    }
    emit(type, kNoDeck, b_.min + (b_.max - b_.min) * v_);
}

void Dispatch::modifier() {
    if (b_.mod & 0x80) {
        if (pressed_) c_.shiftLatch = true;
        return;
    }
    if (!std::isfinite(b_.param) || b_.param > 8.0) return;
    const int n = b_.param < 1.0 ? 1 : static_cast<int>(b_.param);
    const auto bit = static_cast<std::uint8_t>(1u << (n - 1));
    if (pressed_)
        c_.heldModifiers |= bit;
    else
        c_.heldModifiers &= static_cast<std::uint8_t>(~bit);
}

constexpr DeckButton kDeckButtons[] = {
    {MidiAction::play, CommandType::PLAY, CommandType::PLAY, false, ButtonValue::none, 0.0},
    {MidiAction::pause, CommandType::PAUSE, CommandType::PAUSE, false, ButtonValue::none, 0.0},
    {MidiAction::loopIn, CommandType::LOOP_IN, CommandType::LOOP_IN, false, ButtonValue::none, 0.0},
    {MidiAction::loopOut, CommandType::LOOP_OUT, CommandType::LOOP_OUT, false, ButtonValue::none,
     0.0},
    {MidiAction::reloopExit, CommandType::RELOOP_EXIT, CommandType::RELOOP_EXIT, false,
     ButtonValue::none, 0.0},
    {MidiAction::loopHalve, CommandType::LOOP_HALVE, CommandType::LOOP_HALVE, false,
     ButtonValue::none, 0.0},
    {MidiAction::loopDouble, CommandType::LOOP_DOUBLE, CommandType::LOOP_DOUBLE, false,
     ButtonValue::none, 0.0},
    {MidiAction::keySync, CommandType::KEY_SYNC, CommandType::KEY_SYNC, false, ButtonValue::none,
     0.0},
    {MidiAction::beatJump, CommandType::BEAT_JUMP, CommandType::BEAT_JUMP, false,
     ButtonValue::param, 1.0},
    {MidiAction::loopAdjust, CommandType::LOOP_ADJUST, CommandType::LOOP_ADJUST, false,
     ButtonValue::param, 0.5},
    {MidiAction::hotCueSet, CommandType::SET_HOT_CUE, CommandType::SET_HOT_CUE, false,
     ButtonValue::cueIndex, 0.0},
    {MidiAction::hotCueClear, CommandType::CLEAR_HOT_CUE, CommandType::CLEAR_HOT_CUE, false,
     ButtonValue::cueIndex, 0.0},
    {MidiAction::hotCue, CommandType::JUMP_HOT_CUE, CommandType::HOT_CUE_UP, true,
     ButtonValue::cueIndex, 0.0},
    {MidiAction::cuePoint, CommandType::CUE_DOWN, CommandType::CUE_UP, true, ButtonValue::none,
     0.0},
};

void Dispatch::deckButton(const DeckButton& button) {
    if (deck_ == kNoDeck || (!pressed_ && !button.sendsRelease)) return;
    double value = 0.0;
    int index = 0;
    if (button.value == ButtonValue::param) {
        value = b_.param == 0.0 ? button.defaultParam : b_.param;
    } else if (button.value == ButtonValue::cueIndex) {
        if (!indexParam(b_.param, 0, 31, index)) return;
        value = index;
    }
    emit(pressed_ ? button.press : button.release, deck_, value);
}

void Dispatch::playPause() {
    if (!pressedOnDeck()) return;
    const bool playing = deckState(deck_).state == static_cast<std::uint8_t>(DeckState::PLAYING);
    emit(playing ? CommandType::PAUSE : CommandType::PLAY, deck_);
}

void Dispatch::syncMaster() {
    if (pressedOnDeck())
        emit(CommandType::SET_SYNC_MASTER, deckState(deck_).isMaster ? kNoDeck : deck_);
}

void Dispatch::beatLoop() {
    if (!pressedOnDeck()) return;
    const double beats = b_.param > 0.0 ? b_.param : 4.0;
    const bool looping = deckState(deck_).looping;
    if (looping && beats == 4.0)
        emit(CommandType::LOOP_HALVE, deck_);
    else if (looping && beats == 8.0)
        emit(CommandType::LOOP_DOUBLE, deck_);
    else
        emit(CommandType::BEAT_LOOP, deck_, beats);
}

void Dispatch::keyShift() {
    if (!pressedOnDeck()) return;
    const int step = b_.param > 0.0 ? 1 : -1;
    const int shift = b_.param == 0.0 ? 0 : std::clamp(deckState(deck_).keyShift + step, -6, 6);
    emit(CommandType::SET_KEY_SHIFT, deck_, shift);
}

void Dispatch::quantise() {
    if (pressed_)
        emit(CommandType::SET_QUANTISE, kNoDeck,
             b_.midiMode() == MidiMode::toggle && s_.quantise ? 0.0 : 1.0);
}

void Dispatch::masterGain() {
    if (b_.midiMode() == MidiMode::absolute)
        emit(CommandType::SET_MASTER_GAIN, kNoDeck, b_.min + (b_.max - b_.min) * v_);
}

void Dispatch::fxTarget() {
    if (!pressed_) return;
    double target;
    if (b_.param >= 0.0)
        target = b_.param;
    else if (deck_ != kNoDeck)
        target = deck_;
    else
        return;
    if (b_.midiMode() == MidiMode::toggle && s_.fxTarget == std::trunc(target)) target = -2.0;
    emit(CommandType::SET_FX_TARGET, kNoDeck, target);
}

void Dispatch::fxTargetMaster() {
    if (pressed_) emit(CommandType::SET_FX_TARGET, kNoDeck, -1.0);
}

void Dispatch::fxMode() {
    if (pressed_)
        emit(CommandType::SET_FX_MODE, kNoDeck,
             b_.midiMode() != MidiMode::momentary && s_.fxSendMode ? 0.0 : 1.0);
}

void Dispatch::bankUp() {
    if (pressed_ && c_.bank < MidiController::kHighestBank) ++c_.bank;
}

void Dispatch::bankDown() {
    if (pressed_ && c_.bank > 0) --c_.bank;
}

void Dispatch::bankSet() {
    if (!pressed_ || !std::isfinite(b_.param)) return;
    constexpr double highest = MidiController::kHighestBank;
    c_.bank = b_.param < 0.0 ? 0 : static_cast<int>(std::min(std::trunc(b_.param), highest));
}

void Dispatch::focusDeck() {
    if (!pressed_) return;
    int focus = deck_ != kNoDeck ? deck_ : 0;
    if (std::isfinite(b_.param) && b_.param >= 0.0)
        focus = static_cast<int>(std::min(std::trunc(b_.param), 15.0));
    c_.shared->focusedDeck = focus;
}

void Dispatch::platterRpm() {
    if (pressedOnDeck() && std::isfinite(b_.param) && b_.param > 0.0)
        c_.shared->platterRpm[deck_] = b_.param;
}

void Dispatch::jogTouch() {
    if (deck_ == kNoDeck) return;
    if (pressed_)
        c_.jogTouchMask |= 1u << deck_;
    else
        c_.jogTouchMask &= ~(1u << deck_);
    if (c_.trackSearchHeld == 0) emit(CommandType::JOG_TOUCH, deck_, pressed_ ? 1.0 : 0.0);
}

void Dispatch::browseScroll() {
    if (b_.midiMode() != MidiMode::relative) return;
    const int delta = midiRelativeDelta(b_.relative, valueByte(m_));
    if (delta != 0 && focused() != kNoDeck) browse(midi_browse::scroll, focused(), delta);
}

void Dispatch::browseView() {
    if (pressed_ && focused() != kNoDeck) browse(midi_browse::view, focused());
}

void Dispatch::browseLoad() {
    if (!pressed_) return;
    const int target = b_.slot == -1 || deck_ == kNoDeck ? focused() : deck_;
    if (target != kNoDeck) browse(midi_browse::load, target);
}

// The actions with rules of their own.
using Handler = void (Dispatch::*)();

struct SpecialAction {
    MidiAction action;
    Handler handler;
};

constexpr SpecialAction kSpecial[] = {
    {MidiAction::playPause, &Dispatch::playPause},
    {MidiAction::syncMaster, &Dispatch::syncMaster},
    {MidiAction::beatLoop, &Dispatch::beatLoop},
    {MidiAction::keyShift, &Dispatch::keyShift},
    {MidiAction::quantise, &Dispatch::quantise},
    {MidiAction::masterGain, &Dispatch::masterGain},
    {MidiAction::fxTarget, &Dispatch::fxTarget},
    {MidiAction::fxTargetMaster, &Dispatch::fxTargetMaster},
    {MidiAction::fxEffect, &Dispatch::fxEffect},
    {MidiAction::fxMode, &Dispatch::fxMode},
    {MidiAction::fxMix, &Dispatch::fxMix},
    {MidiAction::fxParam, &Dispatch::fxParam},
    {MidiAction::fxResonance, &Dispatch::fxResonance},
    {MidiAction::bankUp, &Dispatch::bankUp},
    {MidiAction::bankDown, &Dispatch::bankDown},
    {MidiAction::bankSet, &Dispatch::bankSet},
    {MidiAction::focusDeck, &Dispatch::focusDeck},
    {MidiAction::modifier, &Dispatch::modifier},
    {MidiAction::platterRpm, &Dispatch::platterRpm},
    {MidiAction::jogTouch, &Dispatch::jogTouch},
    {MidiAction::jog, &Dispatch::jog},
    {MidiAction::jogRing, &Dispatch::jog},
    {MidiAction::browseScroll, &Dispatch::browseScroll},
    {MidiAction::browseView, &Dispatch::browseView},
    {MidiAction::browseLoad, &Dispatch::browseLoad},
    {MidiAction::trackSearch, &Dispatch::trackSearch},
    {MidiAction::mcModeSwitch, &Dispatch::modeSwitch},
    {MidiAction::mcRotary, &Dispatch::rotary},
    {MidiAction::mcShift, &Dispatch::shift},
    {MidiAction::mcCue, &Dispatch::controllerCue},
    {MidiAction::mcBrowseBack, &Dispatch::browseView},
    {MidiAction::mcSyncHold, &Dispatch::syncHold},
    {MidiAction::mcBeatJump, &Dispatch::controllerBeatJump},
    {MidiAction::mcBeatJumpCycle, &Dispatch::beatJumpCycle},
};

int Dispatch::run() {
    const MidiAction action = b_.midiAction();
    for (const GenericAction& g : kGeneric)
        if (g.action == action) {
            generic(g);
            return count_;
        }
    for (const DeckButton& button : kDeckButtons)
        if (button.action == action) {
            deckButton(button);
            return count_;
        }
    for (const SpecialAction& special : kSpecial)
        if (special.action == action) {
            (this->*special.handler)();
            return count_;
        }
    return count_;
}

} // namespace midi_dispatch

int midiRelativeDelta(std::uint8_t encoding, std::uint8_t byte) {
    const int b = byte & 0x7F;
    switch (static_cast<MidiRelative>(encoding)) {
    case MidiRelative::signedMagnitude:
        return (b & 0x40) ? (b & 0x3F) : -(b & 0x3F);
    case MidiRelative::offset:
        return b - 64;
    default:
        return b < 64 ? b : b - 128;
    }
}

bool midiPressed(const MidiBinding& binding, const MidiMessage& message) {
    bool pressed;
    bool noteOrCc = true;
    switch (message.midiKind()) {
    case MidiKind::NoteOn:
        pressed = message.data2 > 0;
        break;
    case MidiKind::NoteOff:
        pressed = false;
        break;
    case MidiKind::ControlChange:
        pressed = message.data2 >= 64;
        break;
    default:
        pressed = true;
        noteOrCc = false;
        break;
    }
    if (!pressed && noteOrCc && (binding.mod & 0x80) &&
        (binding.midiMode() == MidiMode::trigger || binding.midiMode() == MidiMode::toggle ||
         binding.midiAction() == MidiAction::modifier))
        pressed = true;
    return pressed;
}

const MidiBinding* selectMidiBinding(const MidiController& controller, int port,
                                     const MidiMessage& message) {
    const std::uint8_t kind = midiBindingClass(message);
    if (kind == 0) return nullptr;
    const bool numbered = kind != midi_class::touch && kind != midi_class::pitch;
    // A binding answers when its class, channel, number (for numbered classes) and port match;
    // the message's side of that is worked out once for the whole list.
    const auto matches = [&](const MidiBinding& b) {
        return b.kind == kind && b.channel == message.channel &&
               (!numbered || b.number == message.data1) && (b.port == -1 || b.port == port);
    };
    const std::uint8_t held = controller.heldModifiers;
    const auto& bindings = controller.mapping.bindings;
    if (held != 0) {
        const MidiBinding* best = nullptr;
        int bestBits = 0;
        for (const MidiBinding& b : bindings) {
            if (b.mod == 0 || (b.mod & held) != b.mod || !matches(b)) continue;
            const int bits = std::popcount(static_cast<unsigned>(b.mod));
            if (bits > bestBits) {
                best = &b;
                bestBits = bits;
            }
        }
        if (best) return best;
    }
    for (const MidiBinding& b : bindings)
        if (b.mod == 0 && matches(b)) return &b;
    return nullptr;
}

int dispatchMidi(MidiController& controller, int port, const MidiMessage& message,
                 const EngineSnapshot& state, Command* out, int capacity, MidiBrowseEvent& browse,
                 std::uint32_t timeMs) {
    browse = MidiBrowseEvent{};
    if (!out || capacity <= 0) return 0;
    // Learning takes the message for itself; nothing is dispatched meanwhile.
    if (controller.learning) {
        midiLearnCapture(controller, message);
        return 0;
    }
    const MidiBinding* binding = selectMidiBinding(controller, port, message);
    if (!binding) return 0;
    return midi_dispatch::Dispatch(controller, *binding, message, state, out, capacity, browse,
                                   timeMs)
        .run();
}

} // namespace vyn
