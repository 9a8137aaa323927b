// The engine-wide interpolation setting, changed while decks play: it reaches every deck at a
// block boundary and the render block stays free of allocations and locks while it does.

#include "DeckFixture.h"

#include "common/RealtimeGuard.h"
#include "common/SpectralPurity.h"

namespace vyn {
namespace {

class DeckInterpolation : public test::DeckFixture {
protected:
    // Energy away from the tone over the next `frames` frames of the master.
    double renderAway(std::size_t frames, double hz) {
        std::vector<float> out;
        for (std::size_t done = 0; done < frames; done += 256) {
            block(256);
            out.insert(out.end(), master.begin(), master.begin() + 512);
        }
        return test::energyAwayFromToneDb(out.data(), frames, 2, 0, test::kRate, hz);
    }
};

TEST_F(DeckInterpolation, SwitchingWhilePlayingReachesEveryDeck) {
    // Two decks play the same 12 kHz tone of a 44.1 kHz track at rate 1.04, in step: the master
    // is clean only when both read band-limited.
    for (int d = 0; d < 2; ++d) {
        loadTrack(d, test::makeTrack(test::sineWave(12000.0, 44100.0, 10 * 44100, 0.3f), 44100.0));
        push(CommandType::SET_RATE, d, 1.04);
    }
    push(CommandType::PLAY, 0);
    push(CommandType::PLAY, 1);
    block();
    test::resetRealtimeViolations();
    EXPECT_GT(renderAway(24000, 12480.0), -20.0);
    SoundOptions options;
    options.interpolation = 1;
    engine->setSoundOptions(options);
    block(); // the change and its 10 ms blend
    block();
    EXPECT_LE(renderAway(24000, 12480.0), -100.0);
    options.interpolation = 0;
    engine->setSoundOptions(options);
    block();
    block();
    EXPECT_GT(renderAway(24000, 12480.0), -20.0);
    EXPECT_EQ(test::realtimeViolations().total(), 0);
}

} // namespace
} // namespace vyn
