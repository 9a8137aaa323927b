#pragma once
// Deck tests drive a real engine host block by block: commands go through the rings, the deck
// renders in the render block and the state is read back from the published snapshot.

#include "common/EngineFixture.h"
#include "common/TestTracks.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace vyn::test {

// 48 kHz tracks with a 120 BPM grid from 0 s: one beat is 24000 frames.
inline constexpr double kRate = 48000.0;
inline constexpr double kBeat = 24000.0;

class DeckFixture : public EngineFixture {
protected:
    void TearDown() override {
        for (LoadedTrack* t : taken_)
            EngineHost::destroyTrack(t);
        EngineFixture::TearDown();
    }
    // The tracks the engine retired since the last call; they are freed when the test ends.
    std::vector<LoadedTrack*> retired() {
        std::vector<LoadedTrack*> out;
        engine->drainRetired(out);
        taken_.insert(taken_.end(), out.begin(), out.end());
        return out;
    }
    // A silent 48 kHz track without a grid.
    static LoadedTrack* silentTrack(std::size_t frames, int id = 0) {
        return makeTrack(std::vector<float>(frames, 0.0f), kRate, {}, id);
    }
    // Loads `track` on `deck` and applies the load.
    void loadTrack(int deck, LoadedTrack* track) {
        load(deck, track);
        block();
    }
    // A 60 s noise track with a 120 BPM grid over its whole length.
    LoadedTrack* gridTrack(double seconds = 60.0, int id = 1) {
        const int beats = static_cast<int>(seconds * 2.0);
        return makeTrack(noise(static_cast<std::size_t>(seconds * kRate)), kRate,
                         constantGrid(120.0, 0.0, beats), id);
    }
    // Pushes a command and renders one block of `frames` frames.
    void send(CommandType type, int deck = 0, double value = 0.0, int frames = 256) {
        push(type, deck, value);
        block(frames);
    }
    DeckSnapshot deck(int d = 0) { return snapshot().decks[d]; }
    DeckState state(int d = 0) { return static_cast<DeckState>(deck(d).state); }
    double position(int d = 0) { return deck(d).position; }
    // The loop's in and out points in seconds, as the snapshot shows them.
    std::pair<float, float> loopEdges(int d = 0) {
        const DeckSnapshot s = deck(d);
        return {s.loopInSeconds, s.loopOutSeconds};
    }
    void blocks(int count, int frames = 256) {
        for (int i = 0; i < count; ++i)
            block(frames);
    }
    // 0: WSOLA, 1: phase vocoder; the decks change over at the next block.
    void useKeylockQuality(int quality) {
        SoundOptions options = engine->soundOptions();
        options.keylockQuality = quality;
        engine->setSoundOptions(options);
    }

private:
    std::vector<LoadedTrack*> taken_;
};

} // namespace vyn::test
