#include "engine/StretcherSwitch.h"

#include "dsp/PhaseVocoderStretcher.h"
#include "dsp/WsolaStretcher.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vyn {
namespace {

constexpr double kFadeSeconds = 0.02;

} // namespace

StretcherSwitch::StretcherSwitch() = default;
StretcherSwitch::~StretcherSwitch() = default;
StretcherSwitch::StretcherSwitch(StretcherSwitch&&) noexcept = default;
StretcherSwitch& StretcherSwitch::operator=(StretcherSwitch&&) noexcept = default;

void StretcherSwitch::prepare(double sampleRate, int maxBlock, int variant) {
    const double rate = sampleRate > 0 ? sampleRate : 48000.0;
    auto wsola = std::make_unique<WsolaStretcher>();
    wsola->prepare(rate, maxBlock, variant);
    auto vocoder = std::make_unique<PhaseVocoderStretcher>();
    vocoder->prepare(rate, maxBlock, variant);
    // WSOLA's own bound, plus its window and search range on either side of a block.
    const int wsolaInput = WsolaStretcher::inputFramesPerBlock(maxBlock, wsola->hopFrames()) +
                           2 * (wsola->windowFrames() + 8 + 2 * wsola->searchFrames());
    inputFramesPerBlock_ =
        std::max(wsolaInput, PhaseVocoderStretcher::inputFramesPerBlock(rate, maxBlock));
    stretchers_[0] = std::move(wsola);
    stretchers_[1] = std::move(vocoder);

    fadeInput_.assign(2 * static_cast<std::size_t>(inputFramesPerBlock_), 0.0f);
    fadeOutput_.assign(2 * static_cast<std::size_t>(maxBlock), 0.0f);
    fadeFrames_ = std::max(1, static_cast<int>(std::lround(kFadeSeconds * rate)));
    fadeGain_.resize(static_cast<std::size_t>(fadeFrames_));
    for (int i = 0; i < fadeFrames_; ++i)
        fadeGain_[static_cast<std::size_t>(i)] = static_cast<float>(
            0.5 - 0.5 * std::cos(std::numbers::pi * (i + 1) / (fadeFrames_ + 1)));
    fadeDone_ = fadeFrames_;
}

void StretcherSwitch::reset() {
    for (auto& s : stretchers_)
        if (s) s->reset();
    fadeDone_ = fadeFrames_;
}

void StretcherSwitch::select(int quality, bool fade, double outgoingPlayhead) {
    const int q = quality == 1 ? 1 : 0;
    if (!prepared()) {
        quality_ = q;
        return;
    }
    if (q == quality_) return;
    quality_ = q;
    active().reset();
    if (fade) {
        fadePlayhead_ = outgoingPlayhead;
        fadeDone_ = 0;
    } else {
        outgoing().reset();
        fadeDone_ = fadeFrames_;
    }
}

void StretcherSwitch::mixFade(float* out, int frames) {
    int i = 0;
    for (; i < frames && fadeDone_ < fadeFrames_; ++i, ++fadeDone_) {
        const float in = fadeGain_[static_cast<std::size_t>(fadeDone_)];
        out[2 * i] = in * out[2 * i] + (1.0f - in) * fadeOutput_[2 * static_cast<std::size_t>(i)];
        out[2 * i + 1] =
            in * out[2 * i + 1] + (1.0f - in) * fadeOutput_[2 * static_cast<std::size_t>(i) + 1];
    }
    if (!fading()) outgoing().reset();
}

} // namespace vyn
