#pragma once
// The plain sample source: decoded 16-bit stereo held in memory (4 bytes per frame), converted to
// float with 1/32768 as it is read. Immutable after construction.

#include "audio/AudioDecoder.h"
#include "audio/SampleSource.h"

#include <vector>

namespace vyn {

class Int16Source final : public SampleSource {
public:
    // Takes the decode result's samples and rate.
    explicit Int16Source(DecodeResult&& decoded);

    std::uint64_t frameCount() const override { return samples_.size() / 2; }
    double sampleRate() const override { return sampleRate_; }
    std::int64_t read(std::int64_t startFrame, float* out, std::int64_t frames) const override;
    int stemCount() const override { return 0; }
    std::int64_t readMixed(std::int64_t startFrame, float* out, std::int64_t frames,
                           const float* gainsFrom, const float* gainsTo) const override;
    const std::int16_t* int16Data() const override { return samples_.data(); }

private:
    std::vector<std::int16_t> samples_;
    double sampleRate_;
};

} // namespace vyn
