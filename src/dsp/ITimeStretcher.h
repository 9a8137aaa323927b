#pragma once
// Changes the tempo of interleaved stereo float audio without changing its pitch. A deck owns one
// through a unique pointer and drives it only from the audio thread; prepare() sizes every buffer
// up front so that nothing after it allocates.

namespace vyn {

class ITimeStretcher {
public:
    virtual ~ITimeStretcher() = default;

    // Sizes the window and all buffers for blocks of up to `maxBlockFrames`, then resets.
    // `variant` selects one of a few window lengths so that neighbouring decks do not share
    // identical artefacts. Not real-time safe.
    virtual void prepare(double sampleRate, int maxBlockFrames, int variant) = 0;
    // Forgets all buffered input and output.
    virtual void reset() = 0;
    // Input frames consumed per output frame; clamped to 0.25..4, NaN ignored.
    virtual void setRatio(double ratio) = 0;
    virtual double ratio() const = 0;
    // Input frames to push so that `outputFrames` frames can be pulled by the next process().
    virtual int inputFramesFor(int outputFrames) const = 0;
    // Appends `inputFrames` frames of input and writes exactly `outputFrames` frames of output
    // (silence for whatever could not be produced).
    virtual void process(const float* input, int inputFrames, float* output, int outputFrames) = 0;
    virtual int windowFrames() const = 0;
    // Audio held inside, in input frames.
    virtual double latencyFrames() const = 0;
    virtual const char* name() const = 0;
};

} // namespace vyn
