#pragma once
// One deck: the loaded track, its transport (play, CDJ cue, hot cues, loops, beat jump, slip,
// reverse, jog) and the per-block render that reads the track through the loop-aware varispeed
// reader or, for key lock and key shift, through the time-stretcher.
//
// Threading: prepare() runs on the thread that prepares the engine (never during a render); every
// other member is called from the audio thread only, and none of them allocates, frees or locks.
// The engine host owns sixteen decks.

#include "dsp/ChannelStrip.h"
#include "dsp/ITimeStretcher.h"
#include "dsp/KeyNotation.h"
#include "dsp/SmoothedParameter.h"
#include "dsp/VarispeedReader.h"
#include "engine/Command.h"
#include "engine/EngineSnapshot.h"
#include "engine/LoadedTrack.h"
#include "engine/SoundOptions.h"
#include "engine/StretcherSwitch.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vyn {

class Deck {
public:
    Deck();
    Deck(const Deck&) = delete;
    Deck& operator=(const Deck&) = delete;
    ~Deck();

    // Sizes every buffer for blocks of up to `maxBlock` frames and builds new time-stretchers
    // whose window length or timing varies with `index` (not on the audio thread).
    void prepare(double engineSampleRate, int maxBlock, int index);

    // Takes the engine's sound-quality choices (audio thread, at a block boundary; also called
    // after prepare). A change of stretcher, EQ or interpolator takes effect without a click: a
    // new key lock quality crossfades from the old stretcher to the new one, which starts from
    // the audible position.
    void setSoundOptions(const SoundOptions& options) noexcept;

    // Applies one deck-scoped command. A track object the deck lets go of (replaced, unloaded or
    // refused) is returned for the retire ring; the caller owns it from then on.
    LoadedTrack* apply(const Command& command);

    // Renders `frames` stereo frames into `out` (silence when nothing plays), through the channel
    // strip.
    void render(float* out, int frames);

    void fillSnapshot(DeckSnapshot& out) const;

    DeckState state() const { return f_.state; }
    bool empty() const { return f_.state == DeckState::EMPTY; }
    bool playing() const { return f_.state == DeckState::PLAYING; }
    bool cueEnabled() const { return f_.cue; }
    const LoadedTrack* track() const { return f_.track; }
    // The playhead: where the reader is, ahead of what is heard by the stretcher's latency.
    double position() const { return f_.position; }
    // What is heard: the playhead less the stretch latency (inside an active loop, counted back
    // from the loop's end when the latency reaches across its start), never below 0.
    double audiblePosition() const;
    double sourceSampleRate() const;
    double length() const;
    // True while a PLAY would resume a slip-paused deck (such a PLAY is never deferred).
    bool slipPaused() const { return f_.slipPaused; }
    bool stretching() const { return f_.stretchMode; }
    // The stretcher serving key lock and key shift: 0 WSOLA, 1 phase vocoder.
    int keylockQuality() const { return f_.stretch.quality(); }
    double stretchLatency() const { return f_.stretchLatency; }

    // Moves the playhead (clamped to the track), resetting any time-stretch state.
    void seek(double frames);
    // Frames spanned by `beats` from the current beat position on this deck's grid
    // (120 BPM when the track has no grid).
    double beatsToFrames(double beats) const;
    // Moves forward by `beats` on this deck's own grid from the audible position (phase
    // corrections and late quantised starts).
    void jumpBeats(double beats);

    // Loop commands driven by the engine host: LOOP_IN / LOOP_OUT at `frames` (already quantised
    // when quantise is on), RELOOP_EXIT, BEAT_LOOP, LOOP_HALVE (0.5) / LOOP_DOUBLE (2.0).
    void setLoopIn(double frames);
    void setLoopOut(double frames);
    void reloopExit();
    void beatLoop(double beats, bool quantise);
    void scaleLoop(double factor);
    double quantisedPosition(double frames) const;
    bool loopValid() const;
    double minimumLoopLength() const;

    // Tempo, for sync.
    double rate() const { return f_.rate; }
    double userRate() const { return f_.userRate; }
    double syncRate() const { return f_.syncRate; }
    // A positive sync rate overrides the user rate; 0 hands the tempo back to the user rate.
    void setSyncRate(double rate);
    // The user rate becomes the current effective rate and a tempo control has to come within
    // 0.005 of it before it takes over (leaving sync keeps the synced tempo).
    void holdCurrentRate();
    // Jog touched, or a jog or ring movement still in effect.
    bool jogging() const;

    // Grid readings at the audible position (0 without a grid).
    bool hasGrid() const;
    double gridBpm() const;
    double localBpm() const;
    double beatPosition() const;
    double barPhase() const;

    // Key shift and key sync.
    KeyCode key() const { return f_.key; }
    int keyShift() const { return f_.keyShift; }
    bool keySync() const { return f_.keySync; }
    // SET_KEY_SHIFT with whole semitones (clamped to -6..6); a change clears key sync.
    void setKeyShift(int semitones);
    // KEY_SYNC: with key sync on, back to no shift; otherwise the shift that brings this deck's key
    // into agreement with `master` (null when there is no master other than this deck).
    void toggleKeySync(const Deck* master);

    // Exchanges everything but the deck index with `other` (SWAP_DECKS).
    void swapWith(Deck& other) noexcept;

    int index() const { return index_; }

private:
    struct Fields {
        DeckState state = DeckState::EMPTY;
        LoadedTrack* track = nullptr;
        double position = 0.0;
        double stretchLatency = 0.0;
        bool stretchMode = false;

        double rate = 1.0;
        double userRate = 1.0;
        double syncRate = 0.0;
        bool rateTakeover = false;

        bool keylock = false;
        int keyShift = 0;
        double pitchFactor = 1.0;
        bool keySync = false;
        KeyCode key;

        bool cue = false;
        ChannelStrip strip; // trim x fader, kill EQ and the meters' peaks
        bool stemsOn = false;
        SmoothedParameter stemGains[4] = {{1, 1, 0}, {1, 1, 0}, {1, 1, 0}, {1, 1, 0}};
        SmoothedParameter stemMix;

        bool jogTouched = false;
        double topSpeed = 0.0;
        double ringSpeed = 0.0;
        std::int64_t topHold = 0;
        std::int64_t ringHold = 0;

        double hotCues[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
        double hotLoopEnds[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
        double mainCue = 0.0;
        bool preview = false;

        double loopIn = -1.0;
        double loopOut = -1.0;
        bool looping = false;
        int adjustEdge = 0; // 0 none, 1 in, 2 out
        std::int64_t adjustCounter = 0;
        int activeLoopHotCue = -1;

        bool slipMode = false;
        bool slipActive = false;
        bool slipPaused = false;
        int heldHotCue = -1;
        bool hotLoopHeld = false;
        double shadow = 0.0;

        bool reverse = false;
        bool slipReverse = false;

        StretcherSwitch stretch; // WSOLA or phase vocoder, by key lock quality
        VarispeedReader reader;
        std::vector<float> stretchScratch;
        int stretchScratchFrames = 0;
    };

    LoadedTrack* load(LoadedTrack* track);
    LoadedTrack* unload();
    LoadedTrack* replace(LoadedTrack* track);
    void applyTransport(const Command& c);
    void clearJog();
    void clearCueState();
    void clearSlip();

    bool hasSource() const { return f_.track && f_.track->source; }
    double sourceRatio() const;
    double beatsToFramesFrom(double position, double beats) const;
    bool loopActive() const { return f_.looping && loopValid(); }
    void updateActiveLoopHotCue();
    void moveAdjustEdge(double deltaFrames);

    void cueDown();
    void cueUp();
    void setHotCue(int index);
    void jumpHotCue(int index);
    void hotCueUp(int index);
    void beatJump(double beats);
    void setSlip(bool on);
    void setReverse(bool on);
    void setSlipReverse(bool on);
    void jogTouch(bool on);

    void startShadow();
    bool slipReturnHolds() const;
    void returnToShadow();
    void slipReturnCheck();

    void setStretchMode(bool on);
    void followKeylockQuality() noexcept;
    bool readSource(double& playhead, float* out, int frames, double speed);
    void fetchSource(std::int64_t first, float* dst, int count);
    bool renderStretched(float* out, int frames, double sourceRatio);
    bool stretchFrom(ITimeStretcher& stretcher, double& playhead, float* scratch, float* out,
                     int frames, double ratio, double readSpeed);
    void renderOutgoingStretcher(int frames, double ratio, double readSpeed);
    void advanceShadow(int frames);
    void countDownJog(int frames);

    int index_ = 0;
    SoundOptions sound_;
    double engineRate_ = 48000.0;
    int maxBlock_ = 2048;
    Fields f_;
};

} // namespace vyn
