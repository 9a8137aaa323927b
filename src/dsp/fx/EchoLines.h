#pragma once
// The delay-line echoes, all on six-second stereo lines:
// - EchoLine (echo, single echo, low-cut echo): repeats every delay, each `feedback` times the
//   last; the low-cut variant's high-pass lives in the FX unit.
// - PingPongLine: the left output reads the line's right channel at the full delay, the right
//   output the line's left channel at half of it, each output fed back into the other channel.
// - ShrinkingLine: an echo whose delay halves every two beats down to 1/16 of its start.
// Each writes only its wet signal over the buffer it is given. Audio thread only, after prepare.

#include "dsp/fx/StereoDelay.h"

namespace vyn::fx {

class EchoLine {
public:
    static constexpr float kMaxFeedback = 0.85f;

    void prepare(double sampleRate);
    void reset() noexcept { line_.clear(); }
    void setBeats(double beats) noexcept;
    void setFeedback(float feedback) noexcept;
    double beats() const noexcept { return beats_; }
    float feedback() const noexcept { return feedback_; }
    // `tempo` is the module's effective tempo; `noFeedback` plays a single repeat (type 4).
    void process(float* stereo, int frames, double tempo, bool noFeedback) noexcept;

private:
    StereoDelay line_;
    double sampleRate_ = 48000.0;
    double beats_ = 1.0;
    float feedback_ = 0.5f;
};

class PingPongLine {
public:
    void prepare(double sampleRate);
    void reset() noexcept { line_.clear(); }
    void setBeats(double beats) noexcept;
    void setFeedback(float feedback) noexcept;
    double beats() const noexcept { return beats_; }
    float feedback() const noexcept { return feedback_; }
    void process(float* stereo, int frames, double tempo) noexcept;

private:
    StereoDelay line_;
    double sampleRate_ = 48000.0;
    double beats_ = 1.0;
    float feedback_ = 0.5f;
};

class ShrinkingLine {
public:
    void prepare(double sampleRate);
    void reset() noexcept;
    void setBeats(double beats) noexcept;
    void setFeedback(float feedback) noexcept;
    double beats() const noexcept { return beats_; }
    float feedback() const noexcept { return feedback_; }
    void process(float* stereo, int frames, double tempo) noexcept;

private:
    StereoDelay line_;
    double sampleRate_ = 48000.0;
    double beats_ = 1.0;
    double factor_ = 1.0;
    float feedback_ = 0.5f;
};

} // namespace vyn::fx
