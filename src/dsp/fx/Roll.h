#pragma once
// Roll: captures a loop of `beats` beats from its input (passing the input through while it
// captures), then repeats that loop. The rising variant plays the loop faster and faster, from
// 1x up to 4x over about 8.7 s at any sample rate. Writes the rolled signal (a crossfade effect).
// Audio thread only, after prepare.

#include <vector>

namespace vyn::fx {

class Roll {
public:
    static constexpr double kMaxSpeed = 4.0;

    void prepare(double sampleRate);
    void reset() noexcept;
    void setBeats(double beats) noexcept;
    double beats() const noexcept { return beats_; }
    double speed() const noexcept { return speed_; }
    void process(float* stereo, int frames, double tempo, bool rising) noexcept;

private:
    std::vector<float> data_;
    int size_ = 0;
    int captured_ = 0;
    double sampleRate_ = 48000.0;
    double beats_ = 1.0;
    double read_ = 0.0;
    double speed_ = 1.0;
    double speedStep_ = 0.0;
};

} // namespace vyn::fx
