// The engine-wide interpolation setting changed while decks play: it reaches every deck at a
// block boundary, and the render block stays free of allocations and locks while it does.

#include "DeckFixture.h"

#include "common/RealtimeGuard.h"
#include "common/StretchMeasure.h"

namespace vyn {
namespace {

using DeckInterpolation = test::DeckFixture;

TEST_F(DeckInterpolation, SwitchingWhilePlayingReachesEveryDeck) {
    // Two decks play the same 12 kHz tone of a 44.1 kHz track at rate 1.04 in step: the master is
    // clean only when both read band-limited.
    for (int d = 0; d < 2; ++d) {
        loadTrack(d, test::makeTrack(test::sineWave(12000.0, 44100.0, 10 * 44100, 0.3f), 44100.0));
        push(CommandType::SET_RATE, d, 1.04);
    }
    push(CommandType::PLAY, 0);
    push(CommandType::PLAY, 1);
    test::resetRealtimeViolations();
    for (int interpolation : {0, 1, 0}) {
        SoundOptions options;
        options.interpolation = interpolation;
        engine->setSoundOptions(options);
        blocks(2); // the change and its 10 ms blend
        const std::vector<float> out = render(25600);
        const double away = test::offPartialDb(
            test::stretchSpectrum(out.data(), 25600, 2, 0, test::kRate), {12000.0 * 1.04});
        if (interpolation == 1)
            EXPECT_LE(away, -80.0);
        else
            EXPECT_GT(away, -20.0);
    }
    EXPECT_EQ(test::realtimeViolations().total(), 0);
}

} // namespace
} // namespace vyn
