#pragma once
// Band-limited interpolation of interleaved stereo audio, the varispeed reader's alternative to
// linear interpolation.
//
// The kernel is a windowed sinc of 32 taps (16 on either side of the position) under a Kaiser
// window (beta 9: about 90 dB of stopband rejection), tabulated at 256 fractional phases; a
// position between two phases interpolates their coefficients linearly. The cutoff sits at the
// source's Nyquist frequency and the kernel is zero at every other whole frame, so reading whole
// frames copies the source exactly, while a 44.1 kHz source read for a 48 kHz engine keeps its
// images about 90 dB down up to roughly 18 kHz (linear interpolation leaves them 10 to 60 dB down).
//
// Reading faster than one source frame per output frame decimates: the source first passes a
// low-pass made of the same kernel widened by the speed, so its cutoff follows the output's
// Nyquist frequency and nothing folds back into the audible band. The widening stops at 4 (a
// 127-tap low-pass, the most a read costs): a read faster than 4 (only a key-shifted stretch-mode
// read of a source above 48 kHz gets there; jog and scratch speeds are clamped to 4) keeps the
// cutoff at an eighth of the source rate, so only what lies between the output's Nyquist frequency
// and that cutoff may alias.
//
// Threading: the kernel table is built once, by the first prepare(), and only read afterwards, by
// every deck. prepare() allocates (not on the audio thread); interpolate() runs on the owning
// deck's audio thread and allocates nothing.

#include <vector>

namespace vyn {

class SincInterpolator {
public:
    static constexpr int kHalfTaps = 16;
    static constexpr double kMaxWidening = 4.0;

    // Source frames one read at `speed` needs beyond its lowest and highest positions.
    static int reach(double speed);

    // Sizes the low-pass scratch for spans of up to `maxCount` frames.
    void prepare(int maxCount);

    // Writes `frames` stereo frames at the positions x0, x0 + speed, ... of `raw` (`count` frames,
    // at most the prepared span). Positions closer than reach(speed) to either end of `raw` are
    // held at that distance.
    void interpolate(const float* raw, int count, double x0, double speed, float* out, int frames);

private:
    void designLowPass(double widening);

    std::vector<float> filtered_;
    std::vector<float> lowPass_; // stereo-duplicated taps, padded to a whole number of pairs
    int lowPassHalf_ = 0;
    double widening_ = 0.0;
};

} // namespace vyn
