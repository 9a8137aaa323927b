#pragma once
// A track held as four stems (drums, bass, vocals, other): a SampleSource whose readMixed() mixes
// the stems with a gain per stem, each ramping linearly across the call, so a deck can kill or
// ride every stem without clicks. read() plays the plain sum, which is the original track.
//
// Threading: immutable after construction; the audio thread reads it without locks while other
// threads hold the track that owns it.

#include "audio/SampleSource.h" // header-only interface: no link dependency on vyn_audio
#include "dsp/StemSet.h"

#include <string>

namespace vyn {

class StemSource final : public SampleSource {
public:
    // Takes the stem set's buffers; the frame count is that of the shortest buffer.
    explicit StemSource(StemSet&& stems);

    std::uint64_t frameCount() const override { return static_cast<std::uint64_t>(frames_); }
    double sampleRate() const override { return sampleRate_; }
    std::int64_t read(std::int64_t startFrame, float* out, std::int64_t frames) const override;
    int stemCount() const override { return kStemCount; }
    // gainsFrom/gainsTo: four gains each at the first and the last frame of the call (null means
    // 1 for every stem). A stem at 0 at both ends is not read at all.
    std::int64_t readMixed(std::int64_t startFrame, float* out, std::int64_t frames,
                           const float* gainsFrom, const float* gainsTo) const override;
    // A stem source cannot be split again.
    const std::int16_t* int16Data() const override { return nullptr; }

    bool neural() const { return neural_; }
    const std::string& label() const { return label_; }
    const std::int16_t* stem(int index) const { return stems_[index].data(); }
    // 2 bytes for every sample of the four buffers.
    std::uint64_t memoryBytes() const;

private:
    std::vector<std::int16_t> stems_[kStemCount];
    std::int64_t frames_ = 0;
    double sampleRate_ = 0.0;
    bool neural_ = false;
    std::string label_;
};

} // namespace vyn
