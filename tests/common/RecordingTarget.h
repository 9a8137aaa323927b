#pragma once
// A render target for device tests: fills the master with a constant per channel, deck pairs
// with a value per deck, and counts what it was asked to render.

#include "audio/IRenderTarget.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace vyn::test {

class RecordingTarget final : public IRenderTarget {
public:
    RecordingTarget() : cue_(2 * kMaxBlockFrames, 0.0f) {}

    void prepare(double sampleRate, int blockFrames) override {
        preparedRate = sampleRate;
        preparedBlock = blockFrames;
        ++prepareCalls;
    }
    void render(float* masterOut, float* multiOut, int multiChannels, int frames) override {
        maxFrames = std::max(maxFrames.load(), frames);
        framesRendered += frames;
        lastMultiChannels = multiChannels;
        for (int f = 0; f < frames; ++f) {
            masterOut[2 * f] = 0.25f;
            masterOut[2 * f + 1] = -0.25f;
            cue_[2 * f] = 0.5f;
            cue_[2 * f + 1] = -0.5f;
            if (multiOut)
                for (int ch = 0; ch < multiChannels; ++ch)
                    multiOut[f * multiChannels + ch] = static_cast<float>(ch / 2 + 1) / 100.0f;
        }
    }
    const float* cueOutput() const override { return cue_.data(); }

    double preparedRate = 0.0;
    int preparedBlock = 0;
    int prepareCalls = 0;
    std::atomic<int> maxFrames{0};
    std::atomic<long> framesRendered{0};
    std::atomic<int> lastMultiChannels{-1};

private:
    std::vector<float> cue_;
};

} // namespace vyn::test
