// How deep an isolator kill goes and how flat the other bands stay, measured on the master
// rendered through the engine host with the real-time guard armed.

#include "DeckFixture.h"

#include "common/RealtimeGuard.h"
#include "common/ToneMeasure.h"

#include <cmath>
#include <vector>

namespace vyn {
namespace {

using test::kRate;
using EqKill = test::DeckFixture;

TEST_F(EqKill, AnIsolatorKillTakesItsBandFortyDecibelsDownAndLeavesTheOthersFlat) {
    // Every test tone at once, each with a whole number of cycles per second: over a whole second
    // they are orthogonal and each one's level reads on its own.
    const double tones[] = {25, 50, 100, 400, 500, 1000, 1600, 2000, 8000, 12000, 16000, 20000};
    const float amplitude = 0.05f;
    std::vector<float> comb(static_cast<std::size_t>(3 * kRate), 0.0f);
    for (double hz : tones) {
        const std::vector<float> tone = test::sineWave(hz, kRate, comb.size(), amplitude);
        for (std::size_t i = 0; i < comb.size(); ++i)
            comb[i] += tone[i];
    }
    struct Case {
        float low, mid, high;
        std::vector<double> killed; // at least 40 dB down
        std::vector<double> kept;   // within 1 dB, an octave or more from a crossover
    };
    const Case cases[] = {
        {0, 1, 1, {25, 50, 100}, {400, 500, 1000, 1600, 2000, 8000, 12000, 16000, 20000}},
        {1, 0, 1, {500, 1000, 1600}, {25, 50, 100, 8000, 12000, 16000, 20000}},
        {1, 1, 0, {8000, 12000, 16000, 20000}, {25, 50, 100, 400, 500, 1000, 1600, 2000}},
    };
    test::resetRealtimeViolations();
    for (const Case& c : cases) {
        loadTrack(0, test::makeTrack(comb, kRate));
        push(CommandType::SET_EQ_LOW, 0, c.low);
        push(CommandType::SET_EQ_MID, 0, c.mid);
        push(CommandType::SET_EQ_HIGH, 0, c.high);
        push(CommandType::PLAY, 0);
        render(static_cast<std::size_t>(0.5 * kRate)); // the 15 ms glides and the filters settle
        const std::vector<float> out = render(static_cast<std::size_t>(kRate));
        auto db = [&](double hz) {
            return 20.0 * std::log10(test::toneLevel(out.data(), out.size() / 2, 2, 0, kRate, hz) /
                                     amplitude);
        };
        for (double hz : c.killed)
            EXPECT_LT(db(hz), -40.0) << c.low << c.mid << c.high << " at " << hz;
        for (double hz : c.kept)
            EXPECT_NEAR(db(hz), 0.0, 1.0) << c.low << c.mid << c.high << " at " << hz;
    }
    EXPECT_EQ(test::realtimeViolations().total(), 0);
}

} // namespace
} // namespace vyn
