#include "dsp/IsolatorEq.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vyn {
namespace {

// The two pole pairs of a fourth-order Butterworth filter: Q = 1 / (2 cos(k pi / 8)), k = 1, 3.
constexpr double kButterworthQ[2] = {0.54119610014619698, 1.30656296487637652};

template <typename Crossover> Crossover design(double sampleRate, double hz) {
    const double w0 = 2.0 * std::numbers::pi * std::min(hz, 0.45 * sampleRate) / sampleRate;
    const double c = std::cos(w0);
    Crossover x;
    x.lowPassGain = 1.0;
    for (int i = 0; i < 2; ++i) {
        // The bilinear transform prewarped at the crossover, as in the audio-EQ cookbook.
        const double alpha = std::sin(w0) / (2.0 * kButterworthQ[i]);
        const double a0 = 1.0 + alpha;
        x.poles[i].a1 = -2.0 * c / a0;
        x.poles[i].a2 = (1.0 - alpha) / a0;
        const double b0 = (1.0 - c) / 2.0 / a0;
        x.lowPassGain *= b0 * b0; // each pole pair appears twice in the Linkwitz-Riley low-pass
    }
    return x;
}

// Transposed direct form II throughout: two state words per section, well-behaved in double.
// A low-pass section without its gain: numerator 1 + 2 z^-1 + z^-2.
template <typename Poles, typename State, typename Stereo>
inline Stereo lowPassSection(const Poles& p, State& st, Stereo x) {
    const Stereo y = x + st.s1;
    st.s1 = (x + x) - p.a1 * y + st.s2;
    st.s2 = x - p.a2 * y;
    return y;
}

// The allpass over the same poles, numerator a2 + a1 z^-1 + z^-2: the sum of a Linkwitz-Riley
// pair's low-pass and high-pass.
template <typename Poles, typename State, typename Stereo>
inline Stereo allPassSection(const Poles& p, State& st, Stereo x) {
    const Stereo y = p.a2 * x + st.s1;
    st.s1 = p.a1 * (x - y) + st.s2;
    st.s2 = x - p.a2 * y;
    return y;
}

} // namespace

void IsolatorEq::prepare(double sampleRate) noexcept {
    const double rate = sampleRate > 0 ? sampleRate : 48000.0;
    low_ = design<Crossover>(rate, kLowCrossoverHz);
    high_ = design<Crossover>(rate, kHighCrossoverHz);
    reset();
}

void IsolatorEq::reset() noexcept {
    for (State* s : {lowPassState_, highLowPassState_})
        std::fill(s, s + 4, State{});
    for (State* s : {lowAllpassState_, highAllpassState_})
        std::fill(s, s + 2, State{});
}

IsolatorEq::Bands IsolatorEq::split(Stereo x) noexcept {
    Stereo lp = x;
    for (int i = 0; i < 4; ++i)
        lp = lowPassSection(low_.poles[i & 1], lowPassState_[i], lp);
    lp *= low_.lowPassGain;
    Stereo ap = x;
    for (int i = 0; i < 2; ++i)
        ap = allPassSection(low_.poles[i], lowAllpassState_[i], ap);
    const Stereo hp = ap - lp;
    Stereo mid = hp;
    for (int i = 0; i < 4; ++i)
        mid = lowPassSection(high_.poles[i & 1], highLowPassState_[i], mid);
    return {lp, hp, mid * high_.lowPassGain};
}

IsolatorEq::Stereo IsolatorEq::allpassHigh(Stereo x) noexcept {
    for (int i = 0; i < 2; ++i)
        x = allPassSection(high_.poles[i], highAllpassState_[i], x);
    return x;
}

void IsolatorEq::process(float* stereo, int frames, const float* low, const float* mid,
                         const float* high) noexcept {
    for (int f = 0; f < frames; ++f) {
        const Stereo x = {stereo[2 * f], stereo[2 * f + 1]};
        const Bands b = split(x);
        const double gl = low[f], gm = mid[f], gh = high[f];
        // High = AP4k(hp) - mid, so the high gain rides the allpass and the mid carries the rest.
        const Stereo y = allpassHigh(gl * b.lp + gh * b.hp) + (gm - gh) * b.mid;
        stereo[2 * f] = static_cast<float>(y[0]);
        stereo[2 * f + 1] = static_cast<float>(y[1]);
    }
    flushTinyStates();
}

void IsolatorEq::track(const float* stereo, int frames) noexcept {
    for (int f = 0; f < frames; ++f) {
        const Bands b = split(Stereo{stereo[2 * f], stereo[2 * f + 1]});
        allpassHigh(b.lp + b.hp);
    }
    flushTinyStates();
}

void IsolatorEq::flushTinyStates() noexcept {
    // After a long silence the states decay towards the denormal range, where arithmetic is slow
    // on threads that do not flush denormals (the offline renderer, tests).
    auto flush = [](State* states, int count) {
        for (int i = 0; i < count; ++i) {
            for (Stereo* s : {&states[i].s1, &states[i].s2}) {
                for (int c = 0; c < 2; ++c)
                    if (std::fabs((*s)[c]) < 1e-30) (*s)[c] = 0.0;
            }
        }
    };
    flush(lowPassState_, 4);
    flush(lowAllpassState_, 2);
    flush(highLowPassState_, 4);
    flush(highAllpassState_, 2);
}

} // namespace vyn
