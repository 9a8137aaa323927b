#pragma once
// Tracks for engine tests that need a loaded deck but not a decoder: a source of generated
// samples, wrapped in a LoadedTrack with an optional constant-tempo grid.

#include "audio/SampleSource.h"
#include "common/Signals.h"
#include "engine/LoadedTrack.h"

#include <cmath>
#include <memory>
#include <vector>

namespace vyn::test {

// Stereo frames held as floats; left and right carry the same generated value.
class GeneratedSource final : public SampleSource {
public:
    GeneratedSource(std::vector<float> mono, double rate) : mono_(std::move(mono)), rate_(rate) {}
    std::uint64_t frameCount() const override { return mono_.size(); }
    double sampleRate() const override { return rate_; }
    std::int64_t read(std::int64_t start, float* out, std::int64_t frames) const override {
        std::int64_t copied = 0;
        for (std::int64_t i = 0; i < frames; ++i) {
            const std::int64_t f = start + i;
            const bool inside = f >= 0 && f < static_cast<std::int64_t>(mono_.size());
            out[2 * i] = out[2 * i + 1] = inside ? mono_[static_cast<std::size_t>(f)] : 0.0f;
            if (inside) ++copied;
        }
        return copied;
    }
    int stemCount() const override { return 0; }
    std::int64_t readMixed(std::int64_t start, float* out, std::int64_t frames, const float*,
                           const float*) const override {
        return read(start, out, frames);
    }
    const std::int16_t* int16Data() const override { return nullptr; }

private:
    std::vector<float> mono_;
    double rate_;
};

inline BeatGrid constantGrid(double bpm, double firstBeat, int beats) {
    BeatGrid g;
    for (int i = 0; i < beats; ++i)
        g.beats.push_back({firstBeat + i * 60.0 / bpm, bpm, static_cast<std::uint16_t>(i % 4 + 1)});
    g.updateSummary();
    return g;
}

inline LoadedTrack* makeTrack(std::vector<float> mono, double rate, BeatGrid grid = {},
                              int id = 0) {
    auto* t = new LoadedTrack;
    t->id = id;
    t->path = "generated.wav";
    t->source = std::make_unique<GeneratedSource>(std::move(mono), rate);
    t->grid = std::move(grid);
    return t;
}

} // namespace vyn::test
