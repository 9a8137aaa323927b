#pragma once
// Drives an FxUnit the way the engine's render block does: tempo, begin, the deck (after its
// filter) through processDeck and into the master, then the returns and tails in finishBlock.

#include "dsp/FxUnit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace vyn::test {

struct FxRun {
    std::vector<float> deck;   // the deck buffer after the FX unit
    std::vector<float> master; // the master bus after the FX unit
};

struct FxRenderOptions {
    int block = 256;
    double tempo = 120.0;
    int deck = 0;
    // Called before each block with its first frame: commands go here, as between engine blocks.
    std::function<void(FxUnit&, int)> beforeBlock = {};
    // False from the frame it returns false: the deck is not loaded and is skipped.
    std::function<bool(int)> deckLoaded = {};
};

inline FxRun renderFx(FxUnit& fx, const std::vector<float>& input,
                      const FxRenderOptions& options = {}) {
    const int frames = static_cast<int>(input.size() / 2);
    FxRun run{std::vector<float>(input.size(), 0.0f), std::vector<float>(input.size(), 0.0f)};
    std::vector<float> deck(2 * static_cast<std::size_t>(options.block));
    std::vector<float> master(2 * static_cast<std::size_t>(options.block));
    for (int f = 0; f < frames; f += options.block) {
        const int n = std::min(options.block, frames - f);
        const std::size_t bytes = 2 * static_cast<std::size_t>(n) * sizeof(float);
        if (options.beforeBlock) options.beforeBlock(fx, f);
        fx.setTempo(options.tempo);
        fx.beginBlock(n);
        std::fill(master.begin(), master.end(), 0.0f);
        const bool loaded = !options.deckLoaded || options.deckLoaded(f);
        if (loaded) {
            std::memcpy(deck.data(), input.data() + 2 * f, bytes);
            fx.processDeck(options.deck, deck.data(), n);
            for (int i = 0; i < 2 * n; ++i)
                master[i] += deck[i];
            std::memcpy(run.deck.data() + 2 * f, deck.data(), bytes);
        }
        fx.finishBlock(master.data(), n);
        std::memcpy(run.master.data() + 2 * f, master.data(), bytes);
    }
    return run;
}

// Sets every knob of the unit; insert mode on deck `target` unless `send`.
inline FxUnit& configure(FxUnit& fx, int type, double param, double resonance, double mix = 1.0,
                         int target = 0, bool send = false) {
    fx.setType(type);
    fx.setParam(param);
    fx.setResonance(resonance);
    fx.setMix(mix);
    fx.setMode(send ? 1.0 : 0.0);
    fx.setTarget(target);
    return fx;
}

// A unit prepared for blocks of up to 2048 frames at `rate`, then configured.
inline FxUnit& prepared(FxUnit& fx, int type, double param, double resonance, double mix = 1.0,
                        int target = 0, bool send = false, double rate = 48000.0) {
    fx.prepare(rate, 2048);
    return configure(fx, type, param, resonance, mix, target, send);
}

inline std::vector<float> impulse(int frames, int at, float left = 1.0f, float right = 1.0f) {
    std::vector<float> v(2 * static_cast<std::size_t>(frames), 0.0f);
    v[2 * at] = left;
    v[2 * at + 1] = right;
    return v;
}

// Frames (channel `ch`) whose absolute value exceeds `threshold`.
inline std::vector<int> framesAbove(const std::vector<float>& stereo, int ch, float threshold) {
    std::vector<int> out;
    for (std::size_t f = 0; f < stereo.size() / 2; ++f)
        if (std::fabs(stereo[2 * f + ch]) > threshold) out.push_back(static_cast<int>(f));
    return out;
}

// The frames of channel `ch` that carry anything: where an impulse's repeats land.
inline std::vector<int> hits(const std::vector<float>& stereo, int ch = 0) {
    return framesAbove(stereo, ch, 1e-6f);
}

} // namespace vyn::test
