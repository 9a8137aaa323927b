#pragma once
// The fixed strip every deck passes through: gain (trim x fader) and a three-band kill EQ, plus
// the block's output peaks for the meters. Band gains are linear: 0 kills the band, 1 is flat,
// above 1 boosts; they glide over 15 ms, the gain over 10 ms.
//
// Two EQs, chosen by `eqType`: the isolator (IsolatorEq, Linkwitz-Riley crossovers, the default)
// and the one-pole split (OnePoleSplit). Either way a strip whose band gains rest at exactly 1
// passes its input through untouched: the EQ keeps following the audio while its output is set
// aside. The isolator's flat sum is an allpass, not the input itself, so the strip fades between
// the two over a few milliseconds when a band leaves or returns to 1 instead of switching. A
// change of EQ type warms the new EQ up on the running audio, then crossfades to it.
//
// Engine use (audio thread only; one strip per deck, owned by the deck):
// - prepare() on deck prepare (not on the audio thread by rule, though it does not allocate);
// - resetBands() when a track is loaded into the deck;
// - the setters when SET_TRIM, SET_FADER and SET_EQ_* are applied, and setEqType() when the sound
//   options change, before the block renders;
// - process() on the deck buffer right after the deck has rendered its audio (render step 10.1),
//   before the channel filter; a deck that renders nothing calls clearPeaks() instead.

#include "dsp/IsolatorEq.h"
#include "dsp/OnePoleSplit.h"
#include "dsp/SmoothedParameter.h"

namespace vyn {

enum class EqType { Isolator = 0, OnePole = 1 };

class ChannelStrip {
public:
    // Sets the crossovers and zeroes the band states; trim, fader and EQ gains keep their values
    // (1.0 on a new strip), settled. Keeps the EQ type.
    void prepare(double sampleRate) noexcept;
    void resetBands() noexcept;

    // Values are taken as given (the engine rejects non-finite numbers before they get here; a
    // non-finite value is ignored all the same so it cannot poison the smoothing state).
    void setTrim(float trim) noexcept;
    void setFader(float fader) noexcept;
    void setEqLow(float gain) noexcept;
    void setEqMid(float gain) noexcept;
    void setEqHigh(float gain) noexcept;
    // Takes effect at once on a strip that has not heard audio since prepare or resetBands,
    // otherwise over the next kTypeWarmSeconds + kTypeFadeSeconds.
    void setEqType(EqType type) noexcept;

    // In place on `frames` interleaved stereo frames. Bit-exact when every gain is settled at 1.
    void process(float* stereo, int frames) noexcept;
    void clearPeaks() noexcept { peakLeft_ = peakRight_ = 0.0f; }

    float trim() const noexcept { return trim_; }
    float fader() const noexcept { return fader_; }
    float eqLow() const noexcept { return eqLow_.target; }
    float eqMid() const noexcept { return eqMid_.target; }
    float eqHigh() const noexcept { return eqHigh_.target; }
    EqType eqType() const noexcept { return type_; }
    // Largest absolute output sample per channel over the last processed block.
    float peakLeft() const noexcept { return peakLeft_; }
    float peakRight() const noexcept { return peakRight_; }

    // Time constant of the fade between the untouched input and the isolator's output: short
    // enough not to slow a kill, long enough that the change of phase never clicks.
    static constexpr double kBypassFadeSeconds = 0.005;
    // An EQ type change runs the new EQ unheard for this long (its crossovers settle), then fades.
    static constexpr double kTypeWarmSeconds = 0.05;
    static constexpr double kTypeFadeSeconds = 0.02;

private:
    static constexpr int kChunk = 64;

    void processChunk(float* stereo, int frames) noexcept;
    void trackEq(EqType type, const float* stereo, int frames) noexcept;
    void runEq(EqType type, float* stereo, int frames, const float* low, const float* mid,
               const float* high) noexcept;
    bool bandsAtUnity() const noexcept;

    SmoothedParameter gain_{1.0f, 1.0f, 0.0f};
    SmoothedParameter eqLow_{1.0f, 1.0f, 0.0f};
    SmoothedParameter eqMid_{1.0f, 1.0f, 0.0f};
    SmoothedParameter eqHigh_{1.0f, 1.0f, 0.0f};
    // 0 = the input untouched, 1 = the EQ's output.
    SmoothedParameter wet_{0.0f, 0.0f, 0.0f};
    float trim_ = 1.0f;
    float fader_ = 1.0f;

    IsolatorEq isolator_;
    OnePoleSplit onePole_;
    EqType type_ = EqType::Isolator;
    EqType previousType_ = EqType::Isolator;
    // Frames left in a type change (warm-up then fade); 0 when none is running.
    int changeLeft_ = 0;
    int changeFadeFrames_ = 960;
    int changeWarmFrames_ = 2400;
    bool heard_ = false;

    float peakLeft_ = 0.0f;
    float peakRight_ = 0.0f;
};

} // namespace vyn
