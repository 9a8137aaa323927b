#include "audio/OutputRouter.h"

#include <algorithm>
#include <cstring>

namespace vyn {

OutputRouter::OutputRouter()
    : stereo_(2 * kMaxBlockFrames, 0.0f), multi_(kMaxOutputChannels * kMaxBlockFrames, 0.0f) {}

void OutputRouter::fill(IRenderTarget& target, float* out, int channels, long frames) {
    if (!out || channels < 1 || frames < 1) return;
    std::memset(out, 0,
                sizeof(float) * static_cast<std::size_t>(channels) *
                    static_cast<std::size_t>(frames));
    long done = 0;
    while (done < frames) {
        const int n = static_cast<int>(std::min<long>(frames - done, kMaxBlockFrames));
        float* dst = out + done * channels;
        if (channels < 8) {
            target.render(stereo_.data(), nullptr, 0, n);
            const float* cue = channels >= 4 ? target.cueOutput() : nullptr;
            for (int f = 0; f < n; ++f) {
                float* frame = dst + static_cast<long>(f) * channels;
                frame[0] = stereo_[2 * f];
                if (channels >= 2) frame[1] = stereo_[2 * f + 1];
                if (cue) {
                    frame[2] = cue[2 * f];
                    frame[3] = cue[2 * f + 1];
                }
            }
        } else {
            const int sourceChannels = std::min(channels, kMaxOutputChannels);
            target.render(stereo_.data(), multi_.data(), sourceChannels, n);
            for (int f = 0; f < n; ++f) {
                std::memcpy(dst + static_cast<long>(f) * channels,
                            multi_.data() + static_cast<long>(f) * sourceChannels,
                            sizeof(float) * static_cast<std::size_t>(sourceChannels));
            }
        }
        done += n;
    }
}

} // namespace vyn
