#pragma once
// Inside the MIDI dispatcher: one dispatch of one message through one binding, with its action
// tables. Only MidiDispatcher.cpp and MidiStatefulActions.cpp include this.
//
// Threading: as dispatchMidi (the caller holds the MIDI mutex).

#include "control/midi/MidiDispatcher.h"

#include <algorithm>
#include <cmath>

namespace vyn::midi_dispatch {

inline constexpr int kNoDeck = -1;

// Bounds from a mapping file may arrive reversed; the clamp must still be well defined.
inline double clampRange(double v, double a, double b) {
    const double lo = std::min(a, b);
    const double hi = std::max(a, b);
    return v < lo ? lo : (v > hi ? hi : v);
}

// A parameter used as an index: finite, truncated, within [lo, hi]; false otherwise.
inline bool indexParam(double param, int lo, int hi, int& out) {
    if (!std::isfinite(param)) return false;
    const double t = std::trunc(param);
    if (t < lo || t > hi) return false;
    out = static_cast<int>(t);
    return true;
}

inline double normalisedValue(const MidiMessage& m) {
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

inline std::uint8_t valueByte(const MidiMessage& m) {
    return m.midiKind() == MidiKind::ControlChange ? m.data2 : m.data1;
}

inline bool isNoteOrCc(const MidiMessage& m) {
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

// Deck buttons: a press (and, for the pairs, the release too) sends one command to the binding's
// deck. The value is 0, the binding's parameter (with a default for 0), or a hot-cue index.
enum class ButtonValue : std::uint8_t { none, param, cueIndex };

struct DeckButton {
    MidiAction action;
    CommandType press;
    CommandType release; // the press's own type for buttons that ignore the release
    bool sendsRelease;
    ButtonValue value;
    double defaultParam; // ButtonValue::param: the value sent when the parameter is 0
};

class Dispatch {
public:
    Dispatch(MidiController& c, const MidiBinding& b, const MidiMessage& m, const EngineSnapshot& s,
             Command* out, int capacity, MidiBrowseEvent& browse, std::uint32_t time)
        : c_(c), b_(b), m_(m), s_(s), out_(out), capacity_(capacity), browse_(browse), time_(time),
          pressed_(midiPressed(b, m)), v_(normalisedValue(m)), deck_(c.deckOf(b)) {}

    int run();

    // Handlers of the action tables below.
    void generic(const GenericAction& g);
    void deckButton(const DeckButton& button);
    void playPause();
    void syncMaster();
    void beatLoop();
    void keyShift();
    void quantise();
    void masterGain();
    void fxTarget();
    void fxTargetMaster();
    void fxEffect();
    void fxMode();
    void fxMix() { fxLevel(CommandType::SET_FX_MIX); }
    void fxParam() { fxLevel(CommandType::SET_FX_PARAM); }
    void fxResonance() { fxLevel(CommandType::SET_FX_RESONANCE); }
    void bankUp();
    void bankDown();
    void bankSet();
    void focusDeck();
    void modifier();
    void platterRpm();
    void jogTouch();
    void jog();
    void browseScroll();
    void browseView();
    void browseLoad();
    void trackSearch();
    void modeSwitch();
    void rotary();
    void shift();
    void controllerCue();
    void syncHold();
    void controllerBeatJump();
    void beatJumpCycle();

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

    bool pressedOnDeck() const { return pressed_ && deck_ != kNoDeck; }
    void changeMode(int next);
    void tempoNudge(int delta);
    void fxLevel(CommandType type);

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

} // namespace vyn::midi_dispatch
