#pragma once
// Reverb: eight parallel damped feedback combs into four series all-passes per channel, the right
// channel's lines slightly longer than the left's for width. The input is the mono sum; the
// output is the wet signal only. Room sets the comb feedback (0.5 to 0.92), damping the one-pole
// low-pass inside each comb. Audio thread only, after prepare.

#include <vector>

namespace vyn::fx {

class Reverb {
public:
    static constexpr int kCombs = 8;
    static constexpr int kAllPasses = 4;

    void prepare(double sampleRate);
    void reset() noexcept;
    void setRoom(float room) noexcept;
    void setDamping(float damping) noexcept;
    float room() const noexcept { return room_; }
    float damping() const noexcept { return damping_; }
    void process(float* stereo, int frames) noexcept;

private:
    struct Line {
        std::vector<float> data;
        int index = 0;
    };
    struct Comb : Line {
        float store = 0.0f;
    };

    Comb combs_[2][kCombs];
    Line allPasses_[2][kAllPasses];
    bool dirty_ = false;
    float room_ = 0.5f;
    float damping_ = 0.5f;
};

} // namespace vyn::fx
