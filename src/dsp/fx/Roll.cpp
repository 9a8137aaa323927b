#include "dsp/fx/Roll.h"

#include "dsp/fx/BeatTiming.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vyn::fx {

void Roll::prepare(double sampleRate) {
    sampleRate_ = sampleRate > 0 ? sampleRate : 48000.0;
    size_ = static_cast<int>(std::trunc(6.0 * sampleRate_)) + 2;
    data_.assign(2 * static_cast<std::size_t>(size_), 0.0f);
    // A linear ramp whose step is tied to the rate: 3 / (2^(1/(2 sr)) - 1) frames, about
    // 8.66 seconds, from 1x to 4x.
    speedStep_ = std::exp2(1.0 / (2.0 * sampleRate_)) - 1.0;
    captured_ = 0;
    read_ = 0.0;
    speed_ = 1.0;
}

void Roll::reset() noexcept {
    // Only the captured part was ever written.
    if (captured_ > 0)
        std::memset(data_.data(), 0, 2 * static_cast<std::size_t>(captured_) * sizeof(float));
    captured_ = 0;
    read_ = 0.0;
    speed_ = 1.0;
}

void Roll::setBeats(double beats) noexcept {
    if (std::isfinite(beats)) beats_ = clampBeats(beats);
}

void Roll::process(float* stereo, int frames, double tempo, bool rising) noexcept {
    const double wanted = std::max(16.0, beats_ * 60.0 / tempo * sampleRate_);
    const int length = static_cast<int>(std::trunc(std::min(static_cast<double>(size_), wanted)));
    float* s = data_.data();
    double read = read_;
    double speed = speed_;
    for (int f = 0; f < frames; ++f) {
        float* p = stereo + 2 * f;
        if (captured_ < length) {
            s[2 * captured_] = p[0];
            s[2 * captured_ + 1] = p[1];
            if (++captured_ == length) read = 0.0;
            continue; // passes through unchanged while capturing
        }
        if (read >= length) read = std::fmod(read, static_cast<double>(length));
        const int i = static_cast<int>(read);
        const int j = i + 1 < length ? i + 1 : 0;
        const float frac = static_cast<float>(read - i);
        p[0] = s[2 * i] + (s[2 * j] - s[2 * i]) * frac;
        p[1] = s[2 * i + 1] + (s[2 * j + 1] - s[2 * i + 1]) * frac;
        if (rising) speed = std::min(kMaxSpeed, speed + speedStep_);
        read += rising ? speed : 1.0;
        if (read >= length) read -= length;
    }
    read_ = read;
    speed_ = speed;
}

} // namespace vyn::fx
