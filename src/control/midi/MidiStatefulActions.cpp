// The stateful actions of the dispatcher: jog wheels, track search and the controller modes
// (browse, jog and tempo on one rotary), with the sync tap of the mode controllers.

#include "control/midi/MidiDispatch.h"

#include <cstdlib>

namespace vyn::midi_dispatch {

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

void Dispatch::shift() {
    if (pressed_) c_.shiftLatch = true;
}

void Dispatch::controllerCue() {
    if (pressed_ && c_.shiftLatch) {
        c_.shiftLatch = false;
        if (deck_ != kNoDeck) c_.shared->focusedDeck = deck_;
        return;
    }
    int index = 0;
    if (focused() != kNoDeck && indexParam(b_.param, 0, 31, index))
        emit(pressed_ ? CommandType::JUMP_HOT_CUE : CommandType::HOT_CUE_UP, focused(), index);
}

void Dispatch::syncHold() {
    const MidiKind k = m_.midiKind();
    // Only presses are taps: a press and its release are one tap, not a double tap.
    if ((k != MidiKind::NoteOn && k != MidiKind::NoteOff) || !pressedOnDeck()) return;
    const DeckSnapshot& d = deckState(deck_);
    if (c_.syncTapPending && time_ - c_.syncTapTime <= 500u) {
        c_.syncTapPending = false;
        if (!d.isMaster) emit(CommandType::SET_SYNC_MASTER, deck_);
    } else {
        c_.syncTapPending = true;
        c_.syncTapTime = time_;
        emit(CommandType::SET_SYNC, deck_, d.sync ? 0.0 : 1.0);
    }
}

void Dispatch::controllerBeatJump() {
    if (!pressed_ || c_.mode == 0 || focused() == kNoDeck) return;
    const std::uint32_t size = s_.beatJumpBeats;
    double beats = (size == 8 || size == 16 || size == 32 || size == 64) ? size : 16;
    if (b_.param < 0.0) beats = -beats;
    emit(CommandType::BEAT_JUMP, focused(), beats);
}

void Dispatch::beatJumpCycle() {
    if (!pressed_ || c_.mode == 0) return;
    const std::uint32_t size = s_.beatJumpBeats;
    const double next = size == 8 ? 16 : size == 16 ? 32 : size == 32 ? 64 : size == 64 ? 8 : 32;
    emit(CommandType::SET_BEAT_JUMP_BEATS, kNoDeck, next);
}

} // namespace vyn::midi_dispatch
