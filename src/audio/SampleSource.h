#pragma once
// What a deck plays from: interleaved stereo frames at the source's own sample rate.
// Implementations are immutable after construction, so the audio thread may read them while
// other threads hold references.

#include <cstdint>

namespace vyn {

class SampleSource {
public:
    virtual ~SampleSource() = default;
    virtual std::uint64_t frameCount() const = 0;
    virtual double sampleRate() const = 0;
    // Fills `out` (frames x 2 floats) starting at `startFrame` (negative = leading silence).
    // Returns the frames copied from the source, not counting leading silence.
    virtual std::int64_t read(std::int64_t startFrame, float* out, std::int64_t frames) const = 0;
    // 0 for a plain source, 4 for a stem source (drums, bass, vocals, other).
    virtual int stemCount() const = 0;
    // As read(), with four gains per stem source: `gainsFrom` at the first frame of the call and
    // `gainsTo` at the last, ramping linearly in between (null means 1 for every stem). A plain
    // source ignores the gains.
    virtual std::int64_t readMixed(std::int64_t startFrame, float* out, std::int64_t frames,
                                   const float* gainsFrom, const float* gainsTo) const = 0;
    // Interleaved 16-bit samples, or null when the source holds none.
    virtual const std::int16_t* int16Data() const = 0;
};

} // namespace vyn
