#pragma once
// The fixed strip every deck passes through: gain (trim x fader) and a three-band kill EQ whose
// bands are split by two one-pole low-passes at 200 Hz and 4 kHz, plus the block's output peaks
// for the meters. Band gains are linear: 0 kills the band, 1 is flat, above 1 boosts.
//
// Engine use (audio thread only; one strip per deck, owned by the deck):
// - prepare() on deck prepare (not on the audio thread by rule, though it does not allocate);
// - resetBands() when a track is loaded into the deck;
// - the setters when SET_TRIM, SET_FADER and SET_EQ_* are applied, before the block renders;
// - process() on the deck buffer right after the deck has rendered its audio (render step 10.1),
//   before the channel filter; a deck that renders nothing calls clearPeaks() instead.

#include "dsp/SmoothedParameter.h"

namespace vyn {

class ChannelStrip {
public:
    // Sets the crossover coefficients, zeroes the band states and puts all gains at 1.0.
    void prepare(double sampleRate) noexcept;
    void resetBands() noexcept;

    // Values are taken as given (the engine rejects non-finite numbers before they get here; a
    // non-finite value is ignored all the same so it cannot poison the smoothing state).
    void setTrim(float trim) noexcept;
    void setFader(float fader) noexcept;
    void setEqLow(float gain) noexcept;
    void setEqMid(float gain) noexcept;
    void setEqHigh(float gain) noexcept;

    // In place on `frames` interleaved stereo frames. Bit-exact when every gain is settled at 1.
    void process(float* stereo, int frames) noexcept;
    void clearPeaks() noexcept { peakLeft_ = peakRight_ = 0.0f; }

    float trim() const noexcept { return trim_; }
    float fader() const noexcept { return fader_; }
    float eqLow() const noexcept { return eqLow_.target; }
    float eqMid() const noexcept { return eqMid_.target; }
    float eqHigh() const noexcept { return eqHigh_.target; }
    // Largest absolute output sample per channel over the last processed block.
    float peakLeft() const noexcept { return peakLeft_; }
    float peakRight() const noexcept { return peakRight_; }

private:
    bool flat() const noexcept;

    SmoothedParameter gain_{1.0f, 1.0f, 0.0f};
    SmoothedParameter eqLow_{1.0f, 1.0f, 0.0f};
    SmoothedParameter eqMid_{1.0f, 1.0f, 0.0f};
    SmoothedParameter eqHigh_{1.0f, 1.0f, 0.0f};
    float trim_ = 1.0f;
    float fader_ = 1.0f;
    float lowCoefficient_ = 1.0f;
    float midCoefficient_ = 1.0f;
    float lowState_[2] = {0.0f, 0.0f};
    float midState_[2] = {0.0f, 0.0f};
    float peakLeft_ = 0.0f;
    float peakRight_ = 0.0f;
};

} // namespace vyn
