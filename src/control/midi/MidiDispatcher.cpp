#include "control/midi/MidiDispatcher.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

namespace vyn {

namespace {

constexpr int kNoDeck = -1;

// Bounds from a mapping file may arrive reversed; the clamp must still be well defined.
double clampRange(double v, double a, double b) {
    const double lo = std::min(a, b);
    const double hi = std::max(a, b);
    return v < lo ? lo : (v > hi ? hi : v);
}

// A parameter used as an index: finite, truncated, within [lo, hi]; false otherwise.
bool indexParam(double param, int lo, int hi, int& out) {
    if (!std::isfinite(param)) return false;
    const double t = std::trunc(param);
    if (t < lo || t > hi) return false;
    out = static_cast<int>(t);
    return true;
}

double normalisedValue(const MidiMessage& m) {
    double v;
    switch (m.midiKind()) {
    case MidiKind::PitchBend:
        v = (m.data2 * 128.0 + m.data1) / 16383.0;
        break;
    case MidiKind::PolyAftertouch:
    case MidiKind::ControlChange:
        v = m.data2 / 127.0;
        break;
    default:
        v = m.data1 / 127.0;
        break;
    }
    return std::clamp(v, 0.0, 1.0);
}

std::uint8_t valueByte(const MidiMessage& m) {
    return m.midiKind() == MidiKind::ControlChange ? m.data2 : m.data1;
}

bool isNoteOrCc(const MidiMessage& m) {
    const MidiKind k = m.midiKind();
    return k == MidiKind::NoteOn || k == MidiKind::NoteOff || k == MidiKind::ControlChange;
}

enum class Flag {
    none,
    cue,
    sync,
    keylock,
    slip,
    reverse,
    slipReverse,
    stem0,
    stem1,
    stem2,
    stem3,
    stems
};

struct GenericAction {
    MidiAction action;
    CommandType command;
    Flag flag;
};

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

class Dispatch {
public:
    Dispatch(MidiController& c, const MidiBinding& b, const MidiMessage& m, const EngineSnapshot& s,
             Command* out, int capacity, MidiBrowseEvent& browse, std::uint32_t time)
        : c_(c), b_(b), m_(m), s_(s), out_(out), capacity_(capacity), browse_(browse), time_(time),
          pressed_(midiPressed(b, m)), v_(normalisedValue(m)), deck_(c.deckOf(b)) {}

    int run();

private:
    void emit(CommandType type, int deck, double value = 0.0) {
        if (count_ < capacity_) out_[count_++] = Command(type, deck, value);
    }
    void browse(std::uint8_t kind, int deck, int amount = 0) {
        browse_.kind = kind;
        browse_.deck = deck;
        browse_.amount = amount;
    }
    int focused() const {
        const int f = c_.shared->focusedDeck;
        return f >= 0 && f < 16 ? f : kNoDeck;
    }
    const DeckSnapshot& deckState(int deck) const { return s_.decks[deck]; }

    void generic(const GenericAction& g);
    void jog();
    void trackSearch();
    void modeSwitch();
    void changeMode(int next);
    void rotary();
    void tempoNudge(int delta);
    void fxEffect();
    void fxLevel(CommandType type);
    void modifier();

    MidiController& c_;
    const MidiBinding& b_;
    const MidiMessage& m_;
    const EngineSnapshot& s_;
    Command* out_;
    int capacity_;
    int count_ = 0;
    MidiBrowseEvent& browse_;
    std::uint32_t time_;
    bool pressed_;
    double v_;
    int deck_;
};

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

void Dispatch::jog() {
    if (m_.midiKind() != MidiKind::ControlChange || deck_ == kNoDeck) return;
    const bool ring = b_.midiAction() == MidiAction::jogRing;
    const double lo = std::max(b_.min, 0.0);
    const double hi = std::max(lo, b_.max);
    double value;
    if (b_.midiMode() == MidiMode::relative) {
        int delta = midiRelativeDelta(b_.relative, m_.data2);
        // Controllers often send the other of the two common encodings than the file says: a
        // huge step in the configured one that is a small step in the other is the other.
        if (b_.relative == static_cast<std::uint8_t>(MidiRelative::twos) ||
            b_.relative == static_cast<std::uint8_t>(MidiRelative::offset)) {
            const auto other = b_.relative == static_cast<std::uint8_t>(MidiRelative::twos)
                                   ? MidiRelative::offset
                                   : MidiRelative::twos;
            const int alt = midiRelativeDelta(static_cast<std::uint8_t>(other), m_.data2);
            if (std::abs(delta) >= 9 && std::abs(alt) <= 8) delta = alt;
        }
        if (delta == 0) return;
        if (!ring && !(c_.jogTouchMask & (1u << deck_))) return;
        const double s0 = std::max(0.35, lo);
        const double s1 = std::max(s0, hi);
        const int magnitude = std::abs(delta);
        const double t = magnitude > 1 ? std::min((magnitude - 1) / 7.0, 1.0) : 0.0;
        value = s0 + (s1 - s0) * t;
        if (delta < 0) value = -value;
    } else {
        if (m_.data2 == 64) {
            value = 0.0;
        } else {
            const int magnitude = std::min(std::abs(64 - static_cast<int>(m_.data2)), 63);
            value = (magnitude - 1) / 62.0 * (hi - lo) + lo;
            if (m_.data2 < 64) value = -value;
        }
    }
    if (c_.trackSearchHeld == 0) {
        emit(ring ? CommandType::JOG_RING : CommandType::JOG, deck_, value);
        return;
    }
    // Track search held: the wheel scrolls the browser, two rows per 1.0 of wheel value.
    double& acc = c_.browseAccumulator;
    if ((value > 0.0 && acc < 0.0) || (value < 0.0 && acc > 0.0)) acc = 0.0;
    acc += value;
    const double steps = std::trunc(2.0 * acc);
    if (steps != 0.0) {
        acc -= steps * 0.5;
        // A wheel range from a mapping file may be huge: keep the row count representable.
        browse(midi_browse::search, deck_, static_cast<int>(std::clamp(steps, -1e6, 1e6)));
        c_.browsePending = true;
        c_.browsePendingDeck = deck_;
    }
}

void Dispatch::trackSearch() {
    if (deck_ == kNoDeck) return;
    const bool forward = !(b_.param < 0.0);
    const std::uint8_t bit = forward ? 1 : 2;
    if (pressed_) {
        c_.trackSearchHeld |= bit;
        c_.browseAccumulator = 0.0;
        const DeckSnapshot& d = deckState(deck_);
        if (!forward && d.state != static_cast<std::uint8_t>(DeckState::EMPTY) &&
            d.position > 0.5) {
            emit(CommandType::SET_PLAYHEAD, deck_, 0.0);
            return;
        }
        browse(midi_browse::search, deck_, forward ? 1 : -1);
        c_.browsePending = true;
        c_.browsePendingDeck = deck_;
        return;
    }
    c_.trackSearchHeld &= static_cast<std::uint8_t>(~bit);
    if (c_.trackSearchHeld & (bit ^ 3)) return;
    c_.browseAccumulator = 0.0;
    if (c_.browsePending) {
        browse(midi_browse::load, c_.browsePendingDeck);
        c_.browsePending = false;
    }
}

void Dispatch::changeMode(int next) {
    if (c_.mode == 2) {
        const int f = focused();
        if (f != kNoDeck) emit(CommandType::JOG, f, 0.0);
    }
    c_.mode = next;
    c_.rotaryLast = -1;
    c_.suppressUntil = (next != 0 && time_ != 0) ? time_ + 400u : 0u;
}

void Dispatch::modeSwitch() {
    if (!isNoteOrCc(m_) || !std::isfinite(b_.param)) return;
    const double r = std::round(b_.param);
    const int mode = r <= 0.0 ? 1 : (r == 1.0 ? 2 : 3);
    if (pressed_) {
        if (mode != c_.mode) changeMode(mode);
    } else if (mode == c_.mode) {
        changeMode(0);
    }
}

void Dispatch::rotary() {
    if (m_.midiKind() != MidiKind::ControlChange) return;
    if (c_.mode == 0) {
        c_.rotaryLast = -1;
        return;
    }
    const int now = m_.data2;
    const int last = c_.rotaryLast;
    c_.rotaryLast = now;
    // Without a previous position there is no movement to measure yet.
    if (last < 0) return;
    int delta = now - last;
    if (last < 112) {
        if (last <= 16 && now >= 112) delta -= 128;
    } else if (now < 17) {
        delta += 128;
    }
    const bool suppressed = time_ != 0 && c_.suppressUntil != 0 &&
                            static_cast<std::int32_t>(time_ - c_.suppressUntil) < 0;
    if (suppressed || delta == 0) return;
    const int f = focused();
    switch (c_.mode) {
    case 1:
        if (f != kNoDeck) browse(midi_browse::scroll, f, delta);
        break;
    case 2:
        if (f != kNoDeck) emit(CommandType::JOG, f, delta > 0 ? 4.0 : -4.0);
        break;
    default:
        tempoNudge(delta);
        break;
    }
}

void Dispatch::tempoNudge(int delta) {
    const int f = focused();
    if (f == kNoDeck) return;
    const DeckSnapshot& d = deckState(f);
    const bool follower = d.sync && !d.isMaster && s_.masterDeck >= 0;
    double base = follower ? d.rate : d.userRate;
    if (!(base > 0.0)) base = 1.0;
    const double next = std::clamp(base + std::clamp(delta, -4, 4) * 0.002, 0.92, 1.08);
    if (follower) emit(CommandType::SET_SYNC, f, 0.0);
    emit(CommandType::SET_RATE, f, next);
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

int Dispatch::run() {
    const MidiAction action = b_.midiAction();
    for (const GenericAction& g : kGeneric) {
        if (g.action == action) {
            generic(g);
            return count_;
        }
    }
    const bool hasDeck = deck_ != kNoDeck;
    int index = 0;
    switch (action) {
    case MidiAction::playPause:
        if (pressed_ && hasDeck)
            emit(deckState(deck_).state == static_cast<std::uint8_t>(DeckState::PLAYING)
                     ? CommandType::PAUSE
                     : CommandType::PLAY,
                 deck_);
        break;
    case MidiAction::play:
        if (pressed_ && hasDeck) emit(CommandType::PLAY, deck_);
        break;
    case MidiAction::pause:
        if (pressed_ && hasDeck) emit(CommandType::PAUSE, deck_);
        break;
    case MidiAction::syncMaster:
        if (pressed_ && hasDeck)
            emit(CommandType::SET_SYNC_MASTER, deckState(deck_).isMaster ? kNoDeck : deck_);
        break;
    case MidiAction::hotCue:
        if (hasDeck && indexParam(b_.param, 0, 31, index))
            emit(pressed_ ? CommandType::JUMP_HOT_CUE : CommandType::HOT_CUE_UP, deck_, index);
        break;
    case MidiAction::hotCueSet:
    case MidiAction::hotCueClear:
        if (pressed_ && hasDeck && indexParam(b_.param, 0, 31, index))
            emit(action == MidiAction::hotCueSet ? CommandType::SET_HOT_CUE
                                                 : CommandType::CLEAR_HOT_CUE,
                 deck_, index);
        break;
    case MidiAction::cuePoint:
        if (hasDeck) emit(pressed_ ? CommandType::CUE_DOWN : CommandType::CUE_UP, deck_);
        break;
    case MidiAction::loopIn:
        if (pressed_ && hasDeck) emit(CommandType::LOOP_IN, deck_);
        break;
    case MidiAction::loopOut:
        if (pressed_ && hasDeck) emit(CommandType::LOOP_OUT, deck_);
        break;
    case MidiAction::reloopExit:
        if (pressed_ && hasDeck) emit(CommandType::RELOOP_EXIT, deck_);
        break;
    case MidiAction::beatLoop:
        if (pressed_ && hasDeck) {
            const double beats = b_.param > 0.0 ? b_.param : 4.0;
            if (deckState(deck_).looping && beats == 4.0)
                emit(CommandType::LOOP_HALVE, deck_);
            else if (deckState(deck_).looping && beats == 8.0)
                emit(CommandType::LOOP_DOUBLE, deck_);
            else
                emit(CommandType::BEAT_LOOP, deck_, beats);
        }
        break;
    case MidiAction::loopHalve:
        if (pressed_ && hasDeck) emit(CommandType::LOOP_HALVE, deck_);
        break;
    case MidiAction::loopDouble:
        if (pressed_ && hasDeck) emit(CommandType::LOOP_DOUBLE, deck_);
        break;
    case MidiAction::beatJump:
        if (pressed_ && hasDeck)
            emit(CommandType::BEAT_JUMP, deck_, b_.param == 0.0 ? 1.0 : b_.param);
        break;
    case MidiAction::loopAdjust:
        if (pressed_ && hasDeck)
            emit(CommandType::LOOP_ADJUST, deck_, b_.param == 0.0 ? 0.5 : b_.param);
        break;
    case MidiAction::keyShift:
        if (pressed_ && hasDeck) {
            const int shift =
                b_.param == 0.0
                    ? 0
                    : std::clamp(deckState(deck_).keyShift + (b_.param > 0.0 ? 1 : -1), -6, 6);
            emit(CommandType::SET_KEY_SHIFT, deck_, shift);
        }
        break;
    case MidiAction::keySync:
        if (pressed_ && hasDeck) emit(CommandType::KEY_SYNC, deck_);
        break;
    case MidiAction::quantise:
        if (pressed_)
            emit(CommandType::SET_QUANTISE, kNoDeck,
                 b_.midiMode() == MidiMode::toggle && s_.quantise ? 0.0 : 1.0);
        break;
    case MidiAction::masterGain:
        if (b_.midiMode() == MidiMode::absolute)
            emit(CommandType::SET_MASTER_GAIN, kNoDeck, b_.min + (b_.max - b_.min) * v_);
        break;
    case MidiAction::fxTarget:
        if (pressed_) {
            double target;
            if (b_.param >= 0.0)
                target = b_.param;
            else if (hasDeck)
                target = deck_;
            else
                break;
            if (b_.midiMode() == MidiMode::toggle && s_.fxTarget == std::trunc(target))
                target = -2.0;
            emit(CommandType::SET_FX_TARGET, kNoDeck, target);
        }
        break;
    case MidiAction::fxTargetMaster:
        if (pressed_) emit(CommandType::SET_FX_TARGET, kNoDeck, -1.0);
        break;
    case MidiAction::fxEffect:
        fxEffect();
        break;
    case MidiAction::fxMode:
        if (pressed_)
            emit(CommandType::SET_FX_MODE, kNoDeck,
                 b_.midiMode() != MidiMode::momentary && s_.fxSendMode ? 0.0 : 1.0);
        break;
    case MidiAction::fxMix:
        fxLevel(CommandType::SET_FX_MIX);
        break;
    case MidiAction::fxParam:
        fxLevel(CommandType::SET_FX_PARAM);
        break;
    case MidiAction::fxResonance:
        fxLevel(CommandType::SET_FX_RESONANCE);
        break;
    case MidiAction::bankUp:
        if (pressed_ && c_.bank < MidiController::kHighestBank) ++c_.bank;
        break;
    case MidiAction::bankDown:
        if (pressed_ && c_.bank > 0) --c_.bank;
        break;
    case MidiAction::bankSet:
        if (pressed_ && std::isfinite(b_.param))
            c_.bank =
                b_.param < 0.0
                    ? 0
                    : static_cast<int>(std::min(std::trunc(b_.param),
                                                static_cast<double>(MidiController::kHighestBank)));
        break;
    case MidiAction::focusDeck:
        if (pressed_) {
            int focus = hasDeck ? deck_ : 0;
            if (std::isfinite(b_.param) && b_.param >= 0.0)
                focus = static_cast<int>(std::min(std::trunc(b_.param), 15.0));
            c_.shared->focusedDeck = focus;
        }
        break;
    case MidiAction::modifier:
        modifier();
        break;
    case MidiAction::platterRpm:
        if (pressed_ && hasDeck && std::isfinite(b_.param) && b_.param > 0.0)
            c_.shared->platterRpm[deck_] = b_.param;
        break;
    case MidiAction::jogTouch:
        if (hasDeck) {
            if (pressed_)
                c_.jogTouchMask |= 1u << deck_;
            else
                c_.jogTouchMask &= ~(1u << deck_);
            if (c_.trackSearchHeld == 0) emit(CommandType::JOG_TOUCH, deck_, pressed_ ? 1.0 : 0.0);
        }
        break;
    case MidiAction::jog:
    case MidiAction::jogRing:
        jog();
        break;
    case MidiAction::browseScroll:
        if (b_.midiMode() == MidiMode::relative) {
            const int delta = midiRelativeDelta(b_.relative, valueByte(m_));
            if (delta != 0 && focused() != kNoDeck) browse(midi_browse::scroll, focused(), delta);
        }
        break;
    case MidiAction::browseView:
        if (pressed_ && focused() != kNoDeck) browse(midi_browse::view, focused());
        break;
    case MidiAction::browseLoad:
        if (pressed_) {
            const int target = b_.slot == -1 ? focused() : (hasDeck ? deck_ : focused());
            if (target != kNoDeck) browse(midi_browse::load, target);
        }
        break;
    case MidiAction::trackSearch:
        trackSearch();
        break;
    case MidiAction::mcModeSwitch:
        modeSwitch();
        break;
    case MidiAction::mcRotary:
        rotary();
        break;
    case MidiAction::mcShift:
        if (pressed_) c_.shiftLatch = true;
        break;
    case MidiAction::mcCue:
        if (pressed_ && c_.shiftLatch) {
            c_.shiftLatch = false;
            if (hasDeck) c_.shared->focusedDeck = deck_;
            break;
        }
        if (focused() != kNoDeck && indexParam(b_.param, 0, 31, index))
            emit(pressed_ ? CommandType::JUMP_HOT_CUE : CommandType::HOT_CUE_UP, focused(), index);
        break;
    case MidiAction::mcBrowseBack:
        if (pressed_ && focused() != kNoDeck) browse(midi_browse::view, focused());
        break;
    case MidiAction::mcSyncHold: {
        const MidiKind k = m_.midiKind();
        // Only presses are taps: a press and its release are one tap, not a double tap.
        if ((k != MidiKind::NoteOn && k != MidiKind::NoteOff) || !pressed_ || !hasDeck) break;
        const DeckSnapshot& d = deckState(deck_);
        if (c_.syncTapPending && time_ - c_.syncTapTime <= 500u) {
            c_.syncTapPending = false;
            if (!d.isMaster) emit(CommandType::SET_SYNC_MASTER, deck_);
        } else {
            c_.syncTapPending = true;
            c_.syncTapTime = time_;
            emit(CommandType::SET_SYNC, deck_, d.sync ? 0.0 : 1.0);
        }
        break;
    }
    case MidiAction::mcBeatJump:
        if (pressed_ && c_.mode != 0 && focused() != kNoDeck) {
            const std::uint32_t size = s_.beatJumpBeats;
            double beats = (size == 8 || size == 16 || size == 32 || size == 64) ? size : 16;
            if (b_.param < 0.0) beats = -beats;
            emit(CommandType::BEAT_JUMP, focused(), beats);
        }
        break;
    case MidiAction::mcBeatJumpCycle:
        if (pressed_ && c_.mode != 0) {
            const std::uint32_t size = s_.beatJumpBeats;
            const double next = size == 8    ? 16
                                : size == 16 ? 32
                                : size == 32 ? 64
                                : size == 64 ? 8
                                             : 32;
            emit(CommandType::SET_BEAT_JUMP_BEATS, kNoDeck, next);
        }
        break;
    default:
        break;
    }
    return count_;
}

} // namespace

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
    // The message's side of bindingMatches(), worked out once for the whole list.
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
    if (controller.learning) return 0;
    const MidiBinding* binding = selectMidiBinding(controller, port, message);
    if (!binding) return 0;
    return Dispatch(controller, *binding, message, state, out, capacity, browse, timeMs).run();
}

} // namespace vyn
