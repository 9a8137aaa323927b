#pragma once
// Drives Resolume over OSC from the published engine state, once per refresh pass: the
// composition tempo follows the mix tempo, its beat is re-synced on jumps, starts and (when
// asked) every downbeat, the composition pauses when every deck stops, hot cues connect columns
// or per-deck clips (press 1, release 0), and eight dashboard dials carry bar phase, beat phase,
// master peak, playhead and the first four decks' filters.
//
// Hot-cue presses and releases come from the engine's applied-command ring. A tick sends at
// most 32 messages; hot-cue events that do not fit wait for the next tick, and a release is
// never dropped (a full queue gives up its oldest press instead), so no clip stays connected.
//
// Threading: one thread (the user-interface thread); the applied-command ring's single consumer.

#include "control/osc/OscMessage.h"
#include "control/osc/OscSender.h"
#include "engine/Command.h"
#include "engine/EngineSnapshot.h"

#include <array>
#include <cstdint>
#include <functional>

namespace vyn {

struct ResolumeSettings {
    bool tempoOn = true;
    bool resyncOn = true;
    bool dashboardOn = true;
    bool cuesOn = true;
    bool pauseOn = false;
    bool resyncEveryBar = false;
    std::uint8_t cueMap = 0; // 0 hot cues -> columns, 1 hot cues -> clips per deck
    std::int32_t columnOffset = 1;
    std::int32_t layerOffset = 1;
};

// The tempo the mix runs at: the master tempo above 0.5 BPM, else the first playing gridded
// deck's BPM x rate, else 0. Shared with the MIDI clock.
double mixTempo(const EngineSnapshot& snapshot);

class ResolumeOutput {
public:
    static constexpr int kMaxMessages = 32;
    static constexpr int kCueQueue = 512;

    explicit ResolumeOutput(OscSender& sender) : sender_(sender) {}

    void setSettings(const ResolumeSettings& settings) { settings_ = settings; }
    const ResolumeSettings& settings() const { return settings_; }

    // Forgets everything sent (called whenever the sender opens or closes).
    void reset();

    // One pass. `popApplied` yields the engine's applied commands; it is drained on every tick,
    // also while the sender is closed (then nothing is kept).
    void tick(const EngineSnapshot& snapshot, const std::function<bool(Command&)>& popApplied);

    float lastTempoSent() const { return lastTempo_; }
    int pendingCues() const { return cueCount_; }
    std::uint64_t sentDatagrams() const { return datagrams_; }

private:
    struct CueEvent {
        std::int16_t deck = 0;
        std::int8_t index = 0;
        bool press = false;
    };
    void queueCue(const Command& command);
    bool cueMessage(const CueEvent& e, OscMessage& out) const;
    int referenceDeck(const EngineSnapshot& s) const;
    bool wantResync(const EngineSnapshot& s, int reference) const;

    OscSender& sender_;
    ResolumeSettings settings_;
    EngineSnapshot previous_{};
    bool hasPrevious_ = false;
    float lastTempo_ = 0.0f;
    bool lastPaused_ = false;
    bool dialsSent_ = false;
    std::array<float, 8> lastDials_{};
    std::array<CueEvent, kCueQueue> cues_{};
    int cueHead_ = 0;
    int cueCount_ = 0;
    std::uint64_t datagrams_ = 0;
};

} // namespace vyn
