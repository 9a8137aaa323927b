#pragma once
// Waveform-similarity overlap-add time-stretcher on interleaved stereo float audio.
//
// Output is built from Hann-windowed segments of N input frames placed every N/2 output frames.
// The analysis position advances by hop x ratio input frames per segment; each segment is moved
// by up to S frames so that it lines up with the natural continuation of the previous one (a
// coarse then fine search on a mono sum), which keeps the waveform continuous across joins.
//
// Threading: prepare() allocates and belongs to the owning thread before rendering starts; every
// other call is made from the audio thread only and neither allocates nor locks.

#include "dsp/ITimeStretcher.h"

#include <vector>

namespace vyn {

class WsolaStretcher final : public ITimeStretcher {
public:
    WsolaStretcher() = default;

    void prepare(double sampleRate, int maxBlockFrames, int variant) override;
    void reset() override;
    void setRatio(double ratio) override;
    double ratio() const override { return ratio_; }
    int inputFramesFor(int outputFrames) const override;
    void process(const float* input, int inputFrames, float* output, int outputFrames) override;
    int windowFrames() const override { return windowFrames_; }
    double latencyFrames() const override;
    const char* name() const override { return "wsola"; }

    // The most new input one block of `maxBlock` output frames can need (at ratio 4).
    static int inputFramesPerBlock(int maxBlock, int hop);

    int hopFrames() const { return hop_; }
    int searchFrames() const { return searchFrames_; }
    int inputCapacity() const { return inputCapacity_; }
    int outputCapacity() const { return outputCapacity_; }
    int inputFill() const { return inputFill_; }
    double readPosition() const { return readPos_; }

private:
    void synthesise();
    int similarityOffset(int p) const;

    double sampleRate_ = 48000.0;
    double ratio_ = 1.0;
    int windowFrames_ = 0;
    int hop_ = 0;
    int searchFrames_ = 0;
    int maxBlock_ = 0;
    int inputCapacity_ = 0;
    int outputCapacity_ = 0;
    std::vector<float> window_;
    std::vector<float> input_;
    std::vector<float> output_;
    std::vector<float> template_;
    std::vector<float> templateMono_; // left + right of the template's first hop/2 frames
    int inputFill_ = 0;
    int outputReady_ = 0;
    double readPos_ = 0.0;
    bool primed_ = false;
};

} // namespace vyn
