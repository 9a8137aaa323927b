#include "dsp/StemSource.h"

#include <algorithm>
#include <cstring>

namespace vyn {

StemSource::StemSource(StemSet&& stems)
    : sampleRate_(stems.sampleRate), neural_(stems.neural), label_(std::move(stems.label)) {
    std::size_t shortest = stems.stems[0].size();
    for (int s = 0; s < kStemCount; ++s) {
        stems_[s] = std::move(stems.stems[s]);
        shortest = std::min(shortest, stems_[s].size());
    }
    frames_ = static_cast<std::int64_t>(shortest / 2);
}

std::uint64_t StemSource::memoryBytes() const {
    std::uint64_t bytes = 0;
    for (const auto& s : stems_)
        bytes += s.size() * sizeof(std::int16_t);
    return bytes;
}

std::int64_t StemSource::read(std::int64_t startFrame, float* out, std::int64_t frames) const {
    return readMixed(startFrame, out, frames, nullptr, nullptr);
}

std::int64_t StemSource::readMixed(std::int64_t startFrame, float* out, std::int64_t count,
                                   const float* gainsFrom, const float* gainsTo) const {
    if (count <= 0 || !out) return 0;
    std::memset(out, 0, sizeof(float) * 2 * static_cast<std::size_t>(count));
    if (startFrame >= frames_) return 0;
    std::int64_t skipped = 0;
    if (startFrame < 0) {
        skipped = -startFrame;
        if (skipped >= count) return 0;
    }
    const std::int64_t first = startFrame + skipped;
    const std::int64_t n = std::min(count - skipped, frames_ - first);
    if (n < 1) return 0;
    float* dst = out + 2 * skipped;
    constexpr float kScale = 1.0f / 32768.0f;
    for (int s = 0; s < kStemCount; ++s) {
        const float g0 = gainsFrom ? gainsFrom[s] : 1.0f;
        const float g1 = gainsTo ? gainsTo[s] : 1.0f;
        if (g0 == 0.0f && g1 == 0.0f) continue;
        const float step = count > 1 ? (g1 - g0) / static_cast<float>(count - 1) : g1 - g0;
        const std::int16_t* src = stems_[s].data() + 2 * first;
        float gain = g0 + static_cast<float>(skipped) * step;
        if (step == 0.0f) {
            const float g = gain * kScale;
            for (std::int64_t i = 0; i < 2 * n; ++i)
                dst[i] += static_cast<float>(src[i]) * g;
            continue;
        }
        for (std::int64_t i = 0; i < n; ++i) {
            const float g = gain * kScale;
            dst[2 * i] += static_cast<float>(src[2 * i]) * g;
            dst[2 * i + 1] += static_cast<float>(src[2 * i + 1]) * g;
            gain += step;
        }
    }
    return n;
}

} // namespace vyn
