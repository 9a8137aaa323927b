#include "audio/Int16Source.h"

#include <algorithm>
#include <cstring>

namespace vyn {

Int16Source::Int16Source(DecodeResult&& decoded)
    : samples_(std::move(decoded.samples)), sampleRate_(decoded.sampleRate) {
    if (samples_.size() % 2 != 0) samples_.pop_back();
}

std::int64_t Int16Source::read(std::int64_t startFrame, float* out, std::int64_t frames) const {
    if (frames <= 0 || !out) return 0;
    std::memset(out, 0, sizeof(float) * 2 * static_cast<std::size_t>(frames));
    const auto total = static_cast<std::int64_t>(frameCount());
    if (startFrame >= total) return 0;
    std::int64_t skip = 0;
    if (startFrame < 0) {
        skip = -startFrame;
        if (skip >= frames) return 0;
    }
    const std::int64_t first = startFrame + skip;
    const std::int64_t count = std::min(frames - skip, total - first);
    const std::int16_t* src = samples_.data() + 2 * first;
    float* dst = out + 2 * skip;
    constexpr float kScale = 1.0f / 32768.0f;
    for (std::int64_t i = 0; i < 2 * count; ++i)
        dst[i] = static_cast<float>(src[i]) * kScale;
    return count;
}

std::int64_t Int16Source::readMixed(std::int64_t startFrame, float* out, std::int64_t frames,
                                    const float*, const float*) const {
    return read(startFrame, out, frames);
}

} // namespace vyn
