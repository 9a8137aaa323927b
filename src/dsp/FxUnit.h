#pragma once
// The engine's one FX unit: one of fifteen effect types on one target (a deck or the master), in
// insert mode (the target's audio is processed in place) or in send mode (a processed copy is
// added to the master). Beat-based effects follow the master tempo; echoes and the reverb ring
// out after the unit is untargeted. Every effect module exists at once and keeps its settings
// while another type is selected, so switching types never allocates.
//
// Threading: audio thread only, except prepare(), which allocates and runs while the engine is
// not rendering. Commands are applied on the audio thread between blocks.
//
// Engine use, in render-block order:
//   apply commands 26-32   -> setTarget / setMode / setMix / setParam / setResonance / setType /
//                             clearTarget (values as the commands carry them; clamped here)
//   step 8                 -> setTempo(master BPM)
//   step 9                 -> beginBlock(n)
//   step 10.3, each loaded deck after its channel filter -> processDeck(deck, deckBuffer, n)
//   steps 11-13, after every deck was summed into the master -> finishBlock(masterBus, n)
//   snapshot               -> type(), sendMode(), target(), mix(), param(), resonance()

#include "dsp/ChannelFilter.h"
#include "dsp/fx/EchoLines.h"
#include "dsp/fx/Flanger.h"
#include "dsp/fx/Gate.h"
#include "dsp/fx/Phaser.h"
#include "dsp/fx/PitchShifter.h"
#include "dsp/fx/Reverb.h"
#include "dsp/fx/Roll.h"
#include "dsp/fx/SweepTone.h"

#include <cstdint>
#include <vector>

namespace vyn {

class FxUnit {
public:
    static constexpr std::int32_t kTargetMaster = -1;
    static constexpr std::int32_t kTargetNone = -2;

    enum Type : std::uint8_t {
        kNone = 0,
        kFilter = 1,
        kEcho = 2,
        kFlanger = 3,
        kSingleEcho = 4,
        kPingPongEcho = 5,
        kLowCutEcho = 6,
        kShrinkingEcho = 7,
        kReverb = 8,
        kPhaser = 9,
        kGate = 10,
        kPitchShift = 11,
        kRoll = 12,
        kRisingRoll = 13,
        kSawSweep = 14,
        kTriangleSweep = 15,
    };
    static constexpr int kTypeCount = 16;

    static bool isBeatBased(int type) noexcept;
    static bool hasTail(int type) noexcept;
    // Additive types add their wet signal to the dry one; the others crossfade dry and wet.
    static bool isAdditive(int type) noexcept;

    // Sizes every module for `sampleRate` and the FX buffer for `maxBlock` frames (clamped to
    // 1..2048). Settings (type, target, mode, mix, parameters) survive; effect state does not.
    void prepare(double sampleRate, int maxBlock);

    // Commands. Non-finite values are ignored.
    void setTarget(double value) noexcept;    // 26 SET_FX_TARGET
    void setMode(double value) noexcept;      // 27 SET_FX_MODE
    void setMix(double value) noexcept;       // 28 SET_FX_MIX
    void setParam(double value) noexcept;     // 29 SET_FX_PARAM
    void setResonance(double value) noexcept; // 30 SET_FX_RESONANCE
    void setType(double value) noexcept;      // 31 SET_FX_TYPE
    void clearTarget() noexcept;              // 32 CLEAR_FX_TARGET
    // SWAP_DECKS: a deck target follows its track to the other deck, and the effect runs on
    // undisturbed (no reset: it keeps processing the same audio).
    void swapDeckTargets(int a, int b) noexcept;

    // Render. `frames` is clamped to the prepared block size.
    void setTempo(double bpm) noexcept;
    void beginBlock(int frames) noexcept;
    void processDeck(int deck, float* stereo, int frames) noexcept;
    void finishBlock(float* master, int frames) noexcept;

    // Read-back.
    int type() const noexcept { return type_; }
    bool sendMode() const noexcept { return sendMode_; }
    std::int32_t target() const noexcept { return target_; }
    float mix() const noexcept { return mix_; }
    // The current type's parameter: knob, rate, room or pitch for types 1, 3, 8, 9 and 11, the
    // quantised step/6 value for the beat-based types (and while no type is selected).
    float param() const noexcept;
    // The current type's resonance, feedback, damping or duty; 0 for types without one.
    float resonance() const noexcept;
    float quantisedParam() const noexcept { return quantised_; }
    float gateDuty() const noexcept { return gate_.duty(); }
    bool bypassed() const noexcept;
    // An untargeted echo or reverb still has audio to play out.
    bool tailActive() const noexcept;

private:
    void reset() noexcept;
    void setModuleBeats(double beats) noexcept;
    double tailFrames() const noexcept;
    void runModule(float* stereo, int frames) noexcept;
    void insert(float* stereo, int frames) noexcept;
    void addScaled(float* master, int frames) const noexcept;
    int clampFrames(int frames) const noexcept;

    // Settings.
    std::uint8_t type_ = kNone;
    bool sendMode_ = false;
    std::int32_t target_ = kTargetNone;
    float mix_ = 1.0f;
    float quantised_ = 4.0f / 6.0f; // one beat
    double tempo_ = 0.0;

    // Block state.
    double sampleRate_ = 48000.0;
    int maxBlock_ = 0;
    std::vector<float> buffer_;
    bool sendPass_ = false;
    bool sendFilled_ = false;
    bool tailSeen_ = false;
    double silentFrames_ = 0.0;
    float lowCutCoefficient_ = 0.0f;
    float lowCut_[2] = {0.0f, 0.0f};

    // Modules.
    ChannelFilter filter_;
    fx::EchoLine echo_;
    fx::PingPongLine pingPong_;
    fx::ShrinkingLine shrinking_;
    fx::Flanger flanger_;
    fx::Reverb reverb_;
    fx::Phaser phaser_;
    fx::Gate gate_;
    fx::PitchShifter pitch_;
    fx::Roll roll_;
    fx::SweepTone sweep_;
};

} // namespace vyn
