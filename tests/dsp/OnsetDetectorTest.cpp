#include "dsp/OnsetDetector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vyn {
namespace {

constexpr double kRate = 48000.0;

// Stereo frames: a steady background plus a 3 kHz click decaying over 3 ms at each of `clicks`.
std::vector<float> stream(std::size_t frames, float background, std::vector<std::size_t> clicks,
                          bool noise = false) {
    std::vector<float> v(2 * frames);
    std::uint32_t x = 5;
    for (std::size_t i = 0; i < frames; ++i) {
        double s = background * (std::sin(2 * M_PI * 261.63 * i / kRate) +
                                 std::sin(2 * M_PI * 329.63 * i / kRate));
        if (noise) {
            x = x * 1664525u + 1013904223u;
            s = background * (static_cast<double>(x >> 8) / 16777216.0 - 0.5);
        }
        for (std::size_t c : clicks)
            if (i >= c && i < c + 1440) {
                const double t = static_cast<double>(i - c) / kRate;
                s += 0.8 * std::sin(2 * M_PI * 3000 * t) * std::exp(-t / 0.003);
            }
        v[2 * i] = static_cast<float>(s);
        v[2 * i + 1] = static_cast<float>(0.7 * s);
    }
    return v;
}

// Feeds `v` in chunks of `chunk` frames, as a stretcher receives its input.
std::vector<std::int64_t> onsets(const std::vector<float>& v, std::size_t chunk) {
    OnsetDetector d;
    d.prepare(128);
    std::vector<std::int64_t> found;
    const std::size_t frames = v.size() / 2;
    for (std::size_t end = std::min(chunk, frames);; end = std::min(end + chunk, frames)) {
        d.scan(v.data(), 0, static_cast<std::int64_t>(end));
        for (; d.next() >= 0; d.pop())
            found.push_back(d.next());
        if (end == frames) break;
    }
    return found;
}

TEST(OnsetDetector, SteadySoundHasNoOnsets) {
    struct Case {
        const char* name;
        std::vector<float> audio;
    } cases[] = {
        {"chord", stream(96000, 0.3f, {})},
        {"quiet chord", stream(96000, 0.001f, {})},
        {"noise", stream(96000, 0.5f, {}, true)},
        {"silence", stream(96000, 0.0f, {})},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(onsets(c.audio, 256).empty()) << c.name;
}

TEST(OnsetDetector, FindsEachClickAtItsFirstFrameHoweverTheStreamIsCut) {
    const std::vector<std::size_t> at = {4000, 30001, 30400, 60123};
    const std::vector<float> v = stream(96000, 0.05f, at);
    for (std::size_t chunk : {1u, 100u, 256u, 4096u, 96000u}) {
        const std::vector<std::int64_t> found = onsets(v, chunk);
        // 30400 follows 30001 by 8 ms: the same attack as far as a stretcher is concerned.
        ASSERT_EQ(found.size(), 3u) << "chunk " << chunk;
        EXPECT_NEAR(found[0], 4000, 1) << chunk;
        EXPECT_NEAR(found[1], 30001, 1) << chunk;
        EXPECT_NEAR(found[2], 60123, 1) << chunk;
    }
}

TEST(OnsetDetector, ALoudStartIsNotAnOnsetButAClickAfterTheFirstBlocksIs) {
    // Sound from the first frame on, and a click inside the first eight blocks (learning).
    EXPECT_TRUE(onsets(stream(48000, 0.3f, {300}), 256).empty());
    const std::vector<std::int64_t> late = onsets(stream(48000, 0.0f, {2000}), 256);
    ASSERT_EQ(late.size(), 1u);
    EXPECT_NEAR(late[0], 2000, 1);
}

TEST(OnsetDetector, ResetStartsTheStreamAgain) {
    const std::vector<float> v = stream(24000, 0.0f, {12000});
    OnsetDetector d;
    d.prepare(128);
    d.scan(v.data(), 0, 10000);
    d.reset();
    EXPECT_EQ(d.scanned(), 0);
    // Frames dropped before the detector saw them are skipped, not read.
    d.scan(v.data() + 2 * 2000, 2000, 24000);
    ASSERT_NEAR(d.next(), 12000, 1);
    d.pop();
    EXPECT_EQ(d.next(), -1);
}

} // namespace
} // namespace vyn
