#include "dsp/IsolatorEq.h"

#include "common/ToneMeasure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vyn {
namespace {

// At unit gains the three bands sum to an allpass: the impulse response's magnitude is flat from
// 20 Hz to 20 kHz (or to just under the Nyquist frequency) at every rate, including rates where
// the 4 kHz crossover has to be pulled down below Nyquist and rates where 200 Hz is a tiny
// fraction of it.
TEST(IsolatorEq, BandsAtUnitGainSumToAFlatMagnitude) {
    for (double rate : {8000.0, 44100.0, 48000.0, 192000.0, 384000.0}) {
        IsolatorEq eq;
        eq.prepare(rate);
        const int frames = 1 << 17;
        std::vector<float> response(2 * static_cast<std::size_t>(frames), 0.0f);
        response[0] = response[1] = 1.0f;
        const std::vector<float> ones(static_cast<std::size_t>(frames), 1.0f);
        eq.process(response.data(), frames, ones.data(), ones.data(), ones.data());
        for (double hz = 20.0; hz <= std::min(20000.0, 0.49 * rate); hz *= std::pow(2.0, 1.0 / 6)) {
            for (int channel : {0, 1}) {
                // Goertzel's sine amplitude of an impulse response is 2 |H| / frames.
                const double magnitude =
                    test::toneLevel(response.data(), frames, 2, channel, rate, hz) * frames / 2.0;
                ASSERT_NEAR(20.0 * std::log10(magnitude), 0.0, 0.5) << rate << " Hz rate, " << hz;
            }
        }
    }
}

} // namespace
} // namespace vyn
