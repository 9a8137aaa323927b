#pragma once
// Reads interleaved stereo audio at any speed (negative = backwards), interpolating linearly or
// band-limited (SincInterpolator), optionally wrapping inside a loop. The reader only plans and
// interpolates: the frames come from a fetch callable `void(std::int64_t first, float* dst, int
// count)` that fills `count` frames starting at source frame `first` (silence outside the
// source), so any sample source can sit behind it. The playhead arithmetic is the same for both
// interpolations.
//
// Threading: prepare() allocates (owning thread, before rendering); setInterpolation(), read() and
// readLooped() run on the audio thread without allocating.

#include "dsp/SincInterpolator.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace vyn {

enum class VarispeedInterpolation { Linear, BandLimited };

// The source frames one read needs: `count` frames from `first`, and where the playhead lies
// inside them.
struct VarispeedSpan {
    std::int64_t first = 0;
    int count = 0;
    double x0 = 0.0;
};

VarispeedSpan planVarispeed(double playhead, int frames, double speed, int rawCapacity);
// The span a band-limited read needs: the band-limited kernel's reach on either side (source
// frames before the first or after the last come back as silence from the fetch).
VarispeedSpan planBandLimited(double playhead, int frames, double speed, int rawCapacity);
// Writes `frames` stereo frames, interpolating `raw` (count frames) from x0 in steps of `speed`.
void interpolateVarispeed(const float* raw, int count, double x0, double speed, float* out,
                          int frames);
// Moves the playhead by frames x speed. Returns false (playhead = frameCount) when it reaches the
// end of the source; at or below 0 it stays at 0 and the result is true.
bool advanceVarispeed(double& playhead, int frames, double speed, double frameCount);

class VarispeedReader {
public:
    // A change of interpolation blends from the old to the new one over this many read frames
    // (10 ms at 48 kHz), so switching while playing does not click.
    static constexpr int kSwitchFrames = 480;

    // Sizes the scratch for reads spanning up to `rawFrames` source frames (and the band-limited
    // kernel's reach beyond them). Keeps the interpolation.
    void prepare(int rawFrames);
    int rawFrames() const { return rawFrames_; }

    // Chooses the interpolation from the next read on; once the reader has read since prepare(),
    // the change blends over kSwitchFrames.
    void setInterpolation(VarispeedInterpolation interpolation) noexcept;
    VarispeedInterpolation interpolation() const noexcept { return interpolation_; }

    // Reads `frames` frames at `speed` from `playhead` into `out` and advances the playhead.
    // Returns false when the end of the source was reached.
    template <class Fetch>
    bool read(Fetch&& fetch, double& playhead, double frameCount, double speed, float* out,
              int frames) {
        if (frames < 1) return true;
        const VarispeedSpan span = plan(playhead, frames, speed);
        fetch(span.first, raw_.data(), span.count);
        interpolate(span, speed, out, frames);
        readSincePrepare_ = true;
        return advanceVarispeed(playhead, frames, speed, frameCount);
    }

    // As read(), but while loopIn >= 0 and loopOut > loopIn the playhead never renders a position
    // at or past loopOut going forwards (nor at or before loopIn going backwards): it continues
    // on the other side of the loop, keeping the fractional overshoot, so a loop repeats exactly
    // loopOut - loopIn frames of audio. A playhead already beyond the far edge in the direction of
    // travel is brought back into the loop by whole loop lengths. Near an edge the interpolation
    // sees the track's own frames beyond it, so the wrap is the loop's only seam.
    template <class Fetch>
    bool readLooped(Fetch&& fetch, double& playhead, double frameCount, double speed, double loopIn,
                    double loopOut, float* out, int frames) {
        const double length = loopOut - loopIn;
        if (loopIn < 0 || !(length > 0) || speed == 0.0 || !std::isfinite(speed))
            return read(fetch, playhead, frameCount, speed, out, frames);
        int done = 0;
        while (done < frames) {
            if (speed > 0 && playhead >= loopOut)
                playhead = loopIn + std::fmod(playhead - loopOut, length);
            else if (speed < 0 && playhead <= loopIn)
                playhead = loopOut - std::fmod(loopIn - playhead, length);
            const double distance = speed > 0 ? loopOut - playhead : playhead - loopIn;
            const double toEdge = std::ceil(distance / std::fabs(speed));
            int chunk = frames - done;
            if (toEdge >= 1.0 && toEdge < chunk) chunk = static_cast<int>(toEdge);
            // The loop lies inside the source, so reaching its end here only means wrapping.
            read(fetch, playhead, frameCount, speed, out + 2 * static_cast<std::size_t>(done),
                 chunk);
            done += chunk;
        }
        return true;
    }

private:
    VarispeedSpan plan(double playhead, int frames, double speed) const;
    void interpolate(const VarispeedSpan& span, double speed, float* out, int frames);
    void interpolateWith(VarispeedInterpolation interpolation, const VarispeedSpan& span,
                         double speed, float* out, int frames);

    std::vector<float> raw_;
    int rawFrames_ = 0;
    int bandLimitedCapacity_ = 0;
    VarispeedInterpolation interpolation_ = VarispeedInterpolation::Linear;
    SincInterpolator sinc_;
    std::vector<float> switchScratch_;
    int switchRemaining_ = 0; // frames left of the blend from the other interpolation
    bool readSincePrepare_ = false;
};

} // namespace vyn
