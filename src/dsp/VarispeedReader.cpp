#include "dsp/VarispeedReader.h"

#include <algorithm>

namespace vyn {

void VarispeedReader::prepare(int rawFrames) {
    rawFrames_ = std::max(rawFrames, 2);
    raw_.assign(2 * static_cast<std::size_t>(rawFrames_), 0.0f);
}

VarispeedSpan planVarispeed(double playhead, int frames, double speed, int rawCapacity) {
    VarispeedSpan span;
    const double end = playhead + frames * speed;
    const double f = std::floor(std::min(playhead, end));
    // One frame of history before the lowest position so that backwards reads interpolate too.
    double first = f > 0 ? f - 1.0 : f;
    first = std::max(first, 0.0);
    const double count = std::ceil(std::max(playhead, end) - first) + 2.0;
    span.first = static_cast<std::int64_t>(first);
    span.count = static_cast<int>(std::clamp(count, 2.0, static_cast<double>(rawCapacity)));
    span.x0 = playhead - first;
    return span;
}

void interpolateVarispeed(const float* raw, int count, double x0, double speed, float* out,
                          int frames) {
    const double last = count - 1;
    double x = x0;
    for (int i = 0; i < frames; ++i) {
        const double xc = std::clamp(x, 0.0, last);
        const int i0 = static_cast<int>(xc);
        const int i1 = std::min(i0 + 1, count - 1);
        const float t = static_cast<float>(xc - i0);
        const float l0 = raw[2 * i0];
        const float r0 = raw[2 * i0 + 1];
        out[2 * i] = l0 + (raw[2 * i1] - l0) * t;
        out[2 * i + 1] = r0 + (raw[2 * i1 + 1] - r0) * t;
        x += speed;
    }
}

bool advanceVarispeed(double& playhead, int frames, double speed, double frameCount) {
    playhead += frames * speed;
    if (playhead >= frameCount) {
        playhead = frameCount;
        return false;
    }
    if (playhead <= 0.0) playhead = 0.0;
    return true;
}

} // namespace vyn
