#pragma once
// What an output device drives: the engine host implements this. The device calls prepare()
// while opening (whenever the negotiated rate changes) and render() from its real-time thread.

namespace vyn {

inline constexpr int kMaxBlockFrames = 2048;
inline constexpr int kMaxOutputChannels = 32;

class IRenderTarget {
public:
    virtual ~IRenderTarget() = default;
    // Called by the device with block 2048; sizes every buffer the render block will use.
    virtual void prepare(double sampleRate, int blockFrames) = 0;
    // Renders `frames` (at most the prepared block) of stereo master into `masterOut`, and deck
    // pairs into `multiOut` (`multiChannels` interleaved) when it is given.
    virtual void render(float* masterOut, float* multiOut, int multiChannels, int frames) = 0;
    // The headphone-cue bus of the last render (stereo interleaved), or null when there is none.
    virtual const float* cueOutput() const { return nullptr; }
};

} // namespace vyn
