#pragma once
// Fills one device buffer from the render target, the same way on every device (and in offline
// rendering): the buffer is zeroed, then rendered in chunks of at most 2048 frames.
// - fewer than 8 channels: the stereo master goes to channels 1/2; with 4 to 7 channels the
//   headphone cue goes to channels 3/4 (the headphone pair of four-channel DJ controllers);
// - 8 or more channels: deck d on channels 2d+1/2d+2, no master.
// All buffers are allocated at construction; fill() never allocates and may run on the audio
// thread.

#include "audio/IRenderTarget.h"

#include <vector>

namespace vyn {

class OutputRouter {
public:
    OutputRouter();
    // `out` holds frames x channels interleaved floats.
    void fill(IRenderTarget& target, float* out, int channels, long frames);

private:
    std::vector<float> stereo_;
    std::vector<float> multi_;
};

} // namespace vyn
