#include "dsp/OnsetDetector.h"

#include "common/Signals.h"
#include "common/StretchMeasure.h"

#include <gtest/gtest.h>

#include <vector>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;

// The onsets found in mono `v` (played as stereo) fed in chunks of `chunk` frames.
std::vector<std::int64_t> onsets(const std::vector<float>& v, std::size_t chunk) {
    std::vector<float> s(2 * v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        s[2 * i] = s[2 * i + 1] = v[i];
    OnsetDetector d;
    d.prepare(128);
    std::vector<std::int64_t> found;
    for (std::size_t end = 0; end < v.size();) {
        end = std::min(end + chunk, v.size());
        d.scan(s.data(), 0, static_cast<std::int64_t>(end));
        for (; d.next() >= 0; d.pop())
            found.push_back(d.next());
    }
    return found;
}

TEST(OnsetDetector, SteadySoundHasNone) {
    EXPECT_TRUE(onsets(test::partialsSignal(test::kChordHz, 2.0, kRate), 256).empty());
    EXPECT_TRUE(onsets(test::partialsSignal({55.0, 110.0}, 2.0, kRate), 256).empty());
    EXPECT_TRUE(onsets(test::noise(96000), 256).empty());
    // Sound from the first frame, and a click within the first eight blocks (still learning).
    EXPECT_TRUE(onsets(test::clickSignal({0.006}, 1.0, kRate, std::vector<float>(48000, 0.3f)), 256)
                    .empty());
}

TEST(OnsetDetector, FindsEachAttackAtItsFirstFrameHoweverTheStreamIsCut) {
    // The hit 8 ms after the one at 0.625 s is the same attack as far as a stretcher goes.
    const auto v = test::clickSignal({0.0834, 0.625, 0.633, 1.2526}, 2.0, kRate,
                                     test::partialsSignal({261.63}, 2.0, kRate));
    for (std::size_t chunk : {1u, 100u, 256u, 4096u, 96000u}) {
        const std::vector<std::int64_t> found = onsets(v, chunk);
        ASSERT_EQ(found.size(), 3u) << "chunk " << chunk;
        EXPECT_NEAR(found[0], 0.0834 * kRate, 2) << chunk;
        EXPECT_NEAR(found[1], 0.625 * kRate, 2) << chunk;
        EXPECT_NEAR(found[2], 1.2526 * kRate, 2) << chunk;
    }
}

} // namespace
} // namespace vyn
