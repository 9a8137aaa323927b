// The deck's cue-button, hot-cue, loop, beat-jump, slip, reverse and jog-touch handlers: the
// command side of the transport. Playback itself (reading, stretching, the per-block speed and
// holds) lives in Deck.cpp.

#include "engine/Deck.h"

#include <algorithm>
#include <cmath>

namespace vyn {
namespace {

// How close to the main cue the audible position must be for the cue button to preview.
constexpr double kCueToleranceSeconds = 0.005;

} // namespace

void Deck::cueDown() {
    if (f_.state == DeckState::PLAYING) {
        f_.slipActive = f_.slipPaused = false;
        f_.heldHotCue = -1;
        f_.hotLoopHeld = false;
        seek(f_.mainCue);
        f_.state = DeckState::PAUSED;
        f_.preview = false;
        return;
    }
    const double sr = sourceSampleRate();
    const double tolerance = sr > 0 ? kCueToleranceSeconds * sr : 1.0;
    if (std::fabs(audiblePosition() - f_.mainCue) <= tolerance) {
        f_.state = DeckState::PLAYING;
        f_.preview = true;
    } else {
        f_.mainCue = audiblePosition();
        f_.preview = false;
    }
}

void Deck::cueUp() {
    if (!f_.preview) return;
    f_.preview = false;
    seek(f_.mainCue);
    f_.state = DeckState::PAUSED;
}

void Deck::setHotCue(int i) {
    if (i < 0) return;
    if (loopActive()) {
        f_.hotCues[i] = f_.loopIn;
        f_.hotLoopEnds[i] = f_.loopOut;
        f_.activeLoopHotCue = i;
    } else {
        f_.hotCues[i] = audiblePosition();
        f_.hotLoopEnds[i] = -1.0;
    }
}

void Deck::jumpHotCue(int i) {
    if (i < 0 || f_.hotCues[i] < 0) return;
    const bool loopWasActive = loopActive();
    const bool wasPlaying = f_.state == DeckState::PLAYING;
    if (f_.slipMode && wasPlaying) {
        startShadow();
        f_.heldHotCue = i;
    }
    seek(f_.hotCues[i]);
    if (f_.hotLoopEnds[i] > f_.hotCues[i]) {
        f_.loopIn = f_.hotCues[i];
        f_.loopOut = f_.hotLoopEnds[i];
        f_.looping = loopValid();
        f_.activeLoopHotCue = f_.looping ? i : -1;
        f_.hotLoopHeld = f_.heldHotCue == i && f_.looping && !loopWasActive;
    } else {
        f_.looping = false;
        f_.activeLoopHotCue = -1;
        f_.hotLoopHeld = false;
    }
    f_.adjustEdge = 0;
    if (!wasPlaying) {
        f_.slipPaused = false;
        f_.preview = false;
        f_.state = DeckState::PLAYING;
    }
}

void Deck::hotCueUp(int i) {
    if (i < 0 || i != f_.heldHotCue) return;
    f_.heldHotCue = -1;
    if (f_.hotLoopHeld) {
        f_.looping = false;
        f_.hotLoopHeld = false;
    }
    if (f_.slipActive && !f_.slipReverse && slipReturnHolds()) returnToShadow();
}

void Deck::updateActiveLoopHotCue() {
    const int i = f_.activeLoopHotCue;
    if (i < 0) return;
    f_.hotCues[i] = f_.loopIn;
    f_.hotLoopEnds[i] = f_.loopOut;
}

void Deck::setLoopIn(double p) {
    if (!hasSource()) return;
    if (loopActive()) {
        f_.adjustCounter = 0;
        f_.adjustEdge = f_.adjustEdge == 1 ? 0 : 1;
        return;
    }
    f_.adjustEdge = 0;
    f_.activeLoopHotCue = -1;
    f_.loopIn = std::clamp(p, 0.0, length());
    if (!loopValid()) f_.looping = false;
}

void Deck::setLoopOut(double p) {
    if (!hasSource()) return;
    if (loopActive()) {
        f_.adjustCounter = 0;
        f_.adjustEdge = f_.adjustEdge == 2 ? 0 : 2;
        return;
    }
    f_.adjustEdge = 0;
    f_.activeLoopHotCue = -1;
    f_.loopOut = std::clamp(p, 0.0, length());
    const bool was = f_.looping;
    f_.looping = loopValid();
    if (f_.looping && !was && f_.slipMode) startShadow();
}

void Deck::moveAdjustEdge(double delta) {
    if (f_.adjustEdge == 0 || !loopValid() || delta == 0.0) return;
    const double minLength = minimumLoopLength();
    if (f_.adjustEdge == 2) {
        const double out = std::max(f_.loopIn + minLength, std::min(f_.loopOut + delta, length()));
        if (out > length()) return;
        f_.loopOut = out;
    } else {
        const double in = std::min(f_.loopOut - minLength, std::max(f_.loopIn + delta, 0.0));
        if (in < 0.0) return;
        f_.loopIn = in;
    }
    f_.adjustCounter = 0;
    updateActiveLoopHotCue();
}

void Deck::reloopExit() {
    if (!loopValid()) return;
    f_.adjustEdge = 0;
    if (!f_.looping) {
        if (f_.slipMode) startShadow();
        f_.looping = true;
        seek(f_.loopIn);
    } else {
        f_.looping = false;
        slipReturnCheck();
    }
}

void Deck::beatLoop(double beats, bool quantise) {
    if (!hasSource() || !(beats > 0)) return;
    if (loopActive()) {
        if (beats == 4.0) {
            scaleLoop(0.5);
            return;
        }
        if (beats == 8.0) {
            scaleLoop(2.0);
            return;
        }
    }
    const double audible = audiblePosition();
    const double start = quantise ? quantisedPosition(audible) : audible;
    const double end = std::min(length(), start + beatsToFramesFrom(start, beats));
    const double minLength = minimumLoopLength();
    if (end - start < minLength) return;
    f_.adjustEdge = 0;
    f_.activeLoopHotCue = -1;
    if (f_.slipMode) startShadow();
    f_.loopIn = start;
    f_.loopOut = end;
    f_.looping = true;
    if (quantise && start - audible > 0.25 * minLength) seek(start);
}

void Deck::scaleLoop(double factor) {
    if (!loopValid()) return;
    f_.adjustEdge = 0;
    const double out = std::min(length(), f_.loopIn + (f_.loopOut - f_.loopIn) * factor);
    if (out - f_.loopIn < minimumLoopLength()) return;
    f_.loopOut = out;
    updateActiveLoopHotCue();
}

void Deck::beatJump(double beats) {
    if (beats == 0.0 || sourceSampleRate() <= 0) return;
    f_.adjustEdge = 0;
    const double audible = audiblePosition();
    double delta = beatsToFrames(beats);
    if (loopActive()) {
        // The loop travels with the playhead but never leaves the track.
        delta = std::clamp(delta, -f_.loopIn, length() - f_.loopOut);
        f_.loopIn += delta;
        f_.loopOut += delta;
        seek(audible + delta);
        updateActiveLoopHotCue();
    } else {
        seek(audible + delta);
    }
}

// ---------------------------------------------------------------------------------------------
// Slip, reverse, jog

void Deck::startShadow() {
    if (f_.slipActive) return;
    f_.shadow = audiblePosition();
    f_.slipActive = true;
}

bool Deck::slipReturnHolds() const {
    if (!f_.slipActive || f_.slipReverse) return false;
    if (!f_.slipMode) return true;
    const bool touchedOutsideAdjust = f_.jogTouched && f_.adjustEdge == 0;
    return !f_.reverse && f_.heldHotCue < 0 && !loopActive() && !touchedOutsideAdjust &&
           !f_.slipPaused;
}

void Deck::returnToShadow() {
    f_.heldHotCue = -1;
    f_.hotLoopHeld = false;
    f_.slipActive = false;
    f_.slipPaused = false;
    seek(f_.shadow);
    f_.state = DeckState::PLAYING;
}

void Deck::slipReturnCheck() {
    if (slipReturnHolds()) returnToShadow();
}

void Deck::setSlip(bool on) {
    if (on) {
        // A repeated "on" must not restart a shadow that is already running.
        if (f_.slipMode) return;
        f_.slipMode = true;
        if (f_.slipActive) return;
        f_.shadow = audiblePosition();
        const bool touchedOutsideAdjust = f_.jogTouched && f_.adjustEdge == 0;
        if (f_.slipReverse || f_.reverse || f_.heldHotCue >= 0 || loopActive() ||
            touchedOutsideAdjust || f_.slipPaused)
            f_.slipActive = true;
        return;
    }
    f_.slipMode = false;
    if (f_.slipReverse) return;
    f_.slipActive = false;
    f_.slipPaused = false;
    f_.heldHotCue = -1;
    f_.hotLoopHeld = false;
}

void Deck::setReverse(bool on) {
    if (on) {
        f_.reverse = true;
        if (f_.slipMode) startShadow();
        return;
    }
    f_.reverse = false;
    if (f_.slipActive && !f_.slipReverse) slipReturnCheck();
}

void Deck::setSlipReverse(bool on) {
    if (on) {
        f_.slipReverse = true;
        startShadow();
        return;
    }
    f_.slipReverse = false;
    if (!f_.slipMode) f_.looping = false;
    if (!f_.slipActive) return;
    if (!f_.slipMode)
        returnToShadow();
    else
        slipReturnCheck();
}

void Deck::jogTouch(bool on) {
    if (on) {
        f_.jogTouched = true;
        if (f_.slipMode && f_.adjustEdge == 0) startShadow();
        return;
    }
    f_.jogTouched = false;
    f_.topSpeed = 0.0;
    f_.topHold = 0;
    slipReturnCheck();
}

// ---------------------------------------------------------------------------------------------
// Key shift

} // namespace vyn
