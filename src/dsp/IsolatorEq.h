#pragma once
// The three-band kill EQ as an isolator: eighth-order Linkwitz-Riley crossovers at 200 Hz and
// 4 kHz, each band brought to the same phase so that at unit gains the three bands sum to an
// allpass (a flat magnitude response), and a band at gain 0 is gone: 48 dB down one octave past
// its crossover and falling at 48 dB per octave from there.
//
// Band topology (every filter is a cascade of bilinear-transformed biquads):
//   low  = AP4k(LP200(x))      mid = LP4k(HP200(x))      high = HP4k(HP200(x))
// computed as lp = LP200(x), hp = AP200(x) - lp (LP + HP of a Linkwitz-Riley pair is an allpass),
// mid = LP4k(hp) and out = AP4k(gLow lp + gHigh hp) + (gMid - gHigh) mid, which needs twelve
// biquads per channel instead of sixteen. Left and right run side by side in one two-lane double
// vector: double precision keeps the 200 Hz poles where they belong at any rate up to 384 kHz.
//
// The band gains arrive per frame (already smoothed by the channel strip). Audio thread only; one
// per channel strip; no allocation anywhere.

namespace vyn {

class IsolatorEq {
public:
    static constexpr double kLowCrossoverHz = 200.0;
    static constexpr double kHighCrossoverHz = 4000.0;

    // Designs the crossovers for `sampleRate` (48000 when not above 0; a crossover is held below
    // 0.45 of the rate) and clears the filter states.
    void prepare(double sampleRate) noexcept;
    void reset() noexcept;

    // In place on `frames` interleaved stereo frames, with per-frame band gains.
    void process(float* stereo, int frames, const float* low, const float* mid,
                 const float* high) noexcept;
    // Runs the crossovers on the input so their state keeps following it, leaving the audio alone:
    // a later gain move then starts from a settled filter instead of a transient.
    void track(const float* stereo, int frames) noexcept;

private:
    using Stereo = double __attribute__((vector_size(16)));

    // Denominator 1 + a1 z^-1 + a2 z^-2 of one pole pair of a fourth-order Butterworth filter.
    struct Poles {
        double a1 = 0.0;
        double a2 = 0.0;
    };
    struct State {
        Stereo s1 = {0.0, 0.0};
        Stereo s2 = {0.0, 0.0};
    };
    // One crossover frequency: its two pole pairs and the Linkwitz-Riley low-pass's overall gain
    // (each low-pass section runs with numerator 1 + 2 z^-1 + z^-2; the gain is applied once).
    struct Crossover {
        Poles poles[2];
        double lowPassGain = 1.0;
    };
    struct Bands {
        Stereo lp;
        Stereo hp;
        Stereo mid;
    };

    Bands split(Stereo x) noexcept;
    Stereo allpassHigh(Stereo x) noexcept;
    void flushTinyStates() noexcept;

    Crossover low_;
    Crossover high_;
    // LP200 runs the Butterworth pole pairs twice (four sections), AP200 and AP4k once (two), LP4k
    // twice (four).
    State lowPassState_[4];
    State lowAllpassState_[2];
    State highLowPassState_[4];
    State highAllpassState_[2];
};

} // namespace vyn
