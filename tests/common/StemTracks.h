#pragma once
// Stem sets and stem-carrying tracks for tests, generated sample by sample.

#include "common/WavFiles.h"
#include "dsp/IStemSeparator.h"
#include "dsp/StemModels.h"
#include "dsp/StemSeparation.h"
#include "dsp/StemSet.h"
#include "dsp/StemSource.h"
#include "engine/LoadedTrack.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vyn::test {

// Stem `stem`, frame `frame`, channel `channel` (0 left, 1 right) as a 16-bit sample.
using StemSample = std::function<std::int16_t(int stem, std::int64_t frame, int channel)>;

inline StemSet makeStems(std::int64_t frames, double rate, const StemSample& sample) {
    StemSet s;
    s.frames = frames;
    s.sampleRate = rate;
    for (int k = 0; k < kStemCount; ++k) {
        s.stems[k].resize(2 * static_cast<std::size_t>(frames));
        for (std::int64_t f = 0; f < frames; ++f)
            for (int ch = 0; ch < 2; ++ch)
                s.stems[k][static_cast<std::size_t>(2 * f + ch)] = sample(k, f, ch);
    }
    return s;
}

// Stem k holds 1000·2^k on the left and its negative on the right, so every mix of gains shows
// in the output as a distinct value.
inline StemSet levelStems(std::int64_t frames, double rate) {
    return makeStems(frames, rate, [](int stem, std::int64_t, int ch) {
        const int v = 1000 << stem;
        return static_cast<std::int16_t>(ch == 0 ? v : -v);
    });
}

// Music to split, interleaved stereo: a kick every half second (the drums), a 90 Hz bass tone and
// a centred 880 Hz melody.
inline std::vector<std::int16_t> kickAndTones(std::int64_t frames, double rate) {
    std::vector<std::int16_t> pcm(2 * static_cast<std::size_t>(frames));
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double beat = std::fmod(t, 0.5);
        const double v = 12000 * std::exp(-30 * beat) * std::sin(2 * std::numbers::pi * 60 * beat) +
                         5000 * std::sin(2 * std::numbers::pi * 90 * t) +
                         4000 * std::sin(2 * std::numbers::pi * 880 * t);
        pcm[2 * i] = pcm[2 * i + 1] = static_cast<std::int16_t>(v);
    }
    return pcm;
}

// Writes kickAndTones() as a 16-bit WAV file; false when it cannot be written.
inline bool writeKickAndTones(const std::string& path, double seconds, double rate) {
    const auto frames = static_cast<std::int64_t>(seconds * rate);
    const std::vector<std::int16_t> pcm = kickAndTones(frames, rate);
    return !writeStereoWav(path, pcm, static_cast<std::uint32_t>(rate)).empty();
}

inline LoadedTrack* makeStemTrack(StemSet stems, int id = 0) {
    auto* t = new LoadedTrack;
    t->id = id;
    t->path = "generated.wav";
    t->hasStems = true;
    t->source = std::make_shared<StemSource>(std::move(stems));
    return t;
}

// Stands in for a neural separator: hands back levelStems() and remembers the model path it was
// made for. While `spin` is set it keeps reporting progress until asked to stop, and then fails,
// so a job can be cancelled while it runs.
class FakeNeuralSeparator final : public IStemSeparator {
public:
    FakeNeuralSeparator(std::string identity, const std::atomic<bool>* spin)
        : identity_(std::move(identity)), spin_(spin) {}
    bool isNeural() const override { return true; }
    std::string modelIdentity() const override { return identity_; }
    bool separate(const std::int16_t*, std::int64_t frames, double rate, StemSet& out,
                  const StemProgress& progress) override {
        while (spin_ && spin_->load()) {
            if (!progress(0.5f)) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        out = levelStems(frames, rate);
        return true;
    }

private:
    std::string identity_;
    const std::atomic<bool>* spin_;
};

// Registers a model file "fake" in `folder` and a factory of FakeNeuralSeparators for as long as
// it lives.
class FakeNeuralInstall {
public:
    explicit FakeNeuralInstall(const std::string& folder) {
        setStemModelsFolder(folder);
        std::ofstream(folder + "/fake.vynmodel") << "weights";
        registerStemModel("fake", 7, "");
        setNeuralSeparatorFactory([this](const std::string& path, const std::string& identity) {
            modelPath = path;
            return std::make_unique<FakeNeuralSeparator>(identity, &spin);
        });
    }
    ~FakeNeuralInstall() {
        setNeuralSeparatorFactory({});
        clearStemModels();
        setStemModelsFolder({});
    }
    FakeNeuralInstall(const FakeNeuralInstall&) = delete;
    FakeNeuralInstall& operator=(const FakeNeuralInstall&) = delete;

    std::atomic<bool> spin{false};
    std::string modelPath; // set by the factory (on the separating thread)
};

} // namespace vyn::test
