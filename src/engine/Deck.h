#pragma once
// One deck: the loaded track, its transport state and the deck-level command handlers. Only the
// audio thread touches a deck; the engine host owns sixteen of them.

#include "engine/Command.h"
#include "engine/EngineSnapshot.h"
#include "engine/LoadedTrack.h"

#include <cstdint>

namespace vyn {

class Deck {
public:
    Deck() = default;
    Deck(const Deck&) = delete;
    Deck& operator=(const Deck&) = delete;
    ~Deck();

    // Sizes every buffer for blocks of up to `maxBlock` frames (not on the audio thread).
    void prepare(double engineSampleRate, int maxBlock, int index);

    // Applies one deck-scoped command. A track object the deck lets go of (replaced, unloaded or
    // refused) is returned for the retire ring; the caller owns it from then on.
    LoadedTrack* apply(const Command& command);

    // Renders `frames` stereo frames into `out` (silence when nothing plays).
    void render(float* out, int frames);

    void fillSnapshot(DeckSnapshot& out) const;

    DeckState state() const { return state_; }
    bool empty() const { return state_ == DeckState::EMPTY; }
    bool cueEnabled() const { return cue_; }
    const LoadedTrack* track() const { return track_; }
    double position() const { return position_; }
    double audiblePosition() const;
    double sourceSampleRate() const;
    double length() const;
    // True while a PLAY would resume a slip-paused deck (such a PLAY is never deferred).
    bool slipPaused() const { return slipPaused_; }

    // Moves the playhead (clamped to the track), resetting any time-stretch state.
    void seek(double frames);
    // Frames spanned by `beats` from the current beat position on this deck's grid
    // (120 BPM when the track has no grid).
    double beatsToFrames(double beats) const;

    // Loop operations driven by the engine host.
    void setLoopIn(double frames);
    void setLoopOut(double frames);
    void reloopExit();
    void beatLoop(double beats, bool quantise);
    void scaleLoop(double factor);
    double quantisedPosition(double frames) const;

    // Exchanges everything but the deck index with `other` (SWAP_DECKS).
    void swapWith(Deck& other) noexcept;

    int index() const { return index_; }

private:
    LoadedTrack* releaseTrack();
    void resetTransport();

    int index_ = 0;
    double engineRate_ = 48000.0;
    int maxBlock_ = 2048;
    DeckState state_ = DeckState::EMPTY;
    LoadedTrack* track_ = nullptr;
    double position_ = 0.0;
    double stretchLatency_ = 0.0;
    double rate_ = 1.0;
    double userRate_ = 1.0;
    double syncRate_ = 0.0;
    bool rateTakeover_ = false;
    bool keylock_ = false;
    int keyShift_ = 0;
    bool keySync_ = false;
    bool cue_ = false;
    float trim_ = 1.0f;
    float fader_ = 1.0f;
    float eq_[3] = {1.0f, 1.0f, 1.0f};
    bool slipPaused_ = false;
    double mainCue_ = 0.0;
    double hotCues_[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    double hotLoopEnds_[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    double loopIn_ = -1.0;
    double loopOut_ = -1.0;
    bool looping_ = false;
    float peakLeft_ = 0.0f;
    float peakRight_ = 0.0f;
};

} // namespace vyn
