#pragma once
// A deck's two time-stretchers, the WSOLA one (key lock quality 0) and the phase vocoder
// (quality 1), and the change from one to the other while the deck plays. The stretcher taken
// over starts afresh from what is heard; the one left keeps sounding from its own read position
// for a short crossfade (raised cosine, 20 ms), so neither the sound nor the position jumps.
//
// The deck reads the source for both during the fade: it renders the serving stretcher into
// its output as usual, the outgoing one through fadeInput()/fadeOutput() from fadePlayhead(),
// and calls mixFade().
//
// Threading: prepare() allocates (owning thread, before rendering); everything else runs on the
// audio thread without allocating, freeing or locking.

#include "dsp/ITimeStretcher.h"

#include <memory>
#include <vector>

namespace vyn {

class StretcherSwitch {
public:
    static constexpr int kQualities = 2;

    StretcherSwitch();
    ~StretcherSwitch();
    StretcherSwitch(StretcherSwitch&&) noexcept;
    StretcherSwitch& operator=(StretcherSwitch&&) noexcept;

    // Builds both stretchers for blocks of up to `maxBlock` frames (`variant`: the deck index).
    // The quality chosen before stays chosen.
    void prepare(double sampleRate, int maxBlock, int variant);
    bool prepared() const { return stretchers_[0] != nullptr; }
    // The most input one block can ask of either stretcher.
    int inputFramesPerBlock() const { return inputFramesPerBlock_; }

    int quality() const { return quality_; }
    ITimeStretcher& active() { return *stretchers_[quality_]; }

    // Both stretchers forget their audio; a crossfade in progress ends.
    void reset();
    // Serves with `quality` (0 or 1; anything else counts as 0) from now on, starting empty.
    // With `fade`, the stretcher left goes on from `outgoingPlayhead` and fades out; without,
    // it is reset at once.
    void select(int quality, bool fade, double outgoingPlayhead = 0.0);

    bool fading() const { return fadeDone_ < fadeFrames_; }
    ITimeStretcher& outgoing() { return *stretchers_[1 - quality_]; }
    double& fadePlayhead() { return fadePlayhead_; }
    float* fadeInput() { return fadeInput_.data(); }
    float* fadeOutput() { return fadeOutput_.data(); }
    // out = out faded in + fadeOutput() faded out, over `frames` frames of the fade. When the
    // fade is complete the outgoing stretcher is reset.
    void mixFade(float* out, int frames);

private:
    std::unique_ptr<ITimeStretcher> stretchers_[kQualities];
    int quality_ = 0;
    int inputFramesPerBlock_ = 0;
    std::vector<float> fadeInput_;
    std::vector<float> fadeOutput_;
    std::vector<float> fadeGain_; // the incoming stretcher's share, rising from 0 to 1
    int fadeFrames_ = 0;
    int fadeDone_ = 0;
    double fadePlayhead_ = 0.0;
};

} // namespace vyn
