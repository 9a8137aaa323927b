// Reading a stem source: the plain sum, per-stem gains ramping across a read, and the edges.

#include "common/StemTracks.h"

#include <gtest/gtest.h>

#include <vector>

namespace vyn {
namespace {

constexpr float kUnit = 1000.0f / 32768.0f; // the drums level of levelStems(); bass is 2x, ...

struct Read {
    std::vector<float> out;
    std::int64_t produced = 0;
};

Read readMixed(const StemSource& s, std::int64_t start, std::int64_t count, const float* from,
               const float* to) {
    Read r;
    r.out.assign(2 * static_cast<std::size_t>(count), -1.0f);
    r.produced = s.readMixed(start, r.out.data(), count, from, to);
    return r;
}

TEST(StemSource, PlainReadIsTheSumOfTheStems) {
    const StemSource s(test::levelStems(100, 44100.0));
    EXPECT_EQ(s.frameCount(), 100u);
    EXPECT_EQ(s.sampleRate(), 44100.0);
    EXPECT_EQ(s.stemCount(), 4);
    EXPECT_EQ(s.int16Data(), nullptr) << "a stem source is never split again";
    EXPECT_EQ(s.memoryBytes(), 4u * 2u * 100u * 2u);
    std::vector<float> out(2 * 10);
    ASSERT_EQ(s.read(5, out.data(), 10), 10);
    const float ones[4] = {1, 1, 1, 1};
    const Read mixed = readMixed(s, 5, 10, ones, ones);
    for (int i = 0; i < 10; ++i) {
        EXPECT_FLOAT_EQ(out[2 * i], 15 * kUnit);
        EXPECT_FLOAT_EQ(out[2 * i + 1], -15 * kUnit);
        EXPECT_FLOAT_EQ(mixed.out[2 * i], out[2 * i]);
    }
}

TEST(StemSource, GainsRampLinearlyAcrossTheRead) {
    const StemSource s(test::levelStems(1000, 48000.0));
    struct Case {
        float from[4];
        float to[4];
    };
    // Drums 0 -> 1, bass 1 -> 0, vocals held at 2, other killed at both ends.
    const Case c{{0, 1, 2, 0}, {1, 0, 2, 0}};
    const Read r = readMixed(s, 100, 101, c.from, c.to);
    ASSERT_EQ(r.produced, 101);
    for (int i = 0; i <= 100; ++i) {
        const float t = static_cast<float>(i) / 100.0f;
        const float want = (t * 1 + (1 - t) * 2 + 2 * 4) * kUnit;
        ASSERT_NEAR(r.out[2 * i], want, 1e-5f) << i;
        ASSERT_NEAR(r.out[2 * i + 1], -want, 1e-5f) << i;
    }
}

TEST(StemSource, ReadsAtTheEdgesOfTheTrack) {
    const StemSource s(test::levelStems(50, 48000.0));
    const float from[4] = {0, 0, 0, 0};
    const float to[4] = {1, 0, 0, 0};
    // Ten frames before the start: silence, then the ramp continues where those frames left it.
    Read r = readMixed(s, -10, 21, from, to);
    EXPECT_EQ(r.produced, 11);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(r.out[2 * i], 0.0f);
    EXPECT_NEAR(r.out[2 * 10], 0.5f * kUnit, 1e-6f);
    EXPECT_NEAR(r.out[2 * 20], 1.0f * kUnit, 1e-6f);
    // Past the end: what remains, then silence.
    r = readMixed(s, 45, 10, nullptr, nullptr);
    EXPECT_EQ(r.produced, 5);
    EXPECT_FLOAT_EQ(r.out[2 * 4], 15 * kUnit);
    EXPECT_EQ(r.out[2 * 5], 0.0f);
    EXPECT_EQ(readMixed(s, 50, 4, nullptr, nullptr).produced, 0);
    EXPECT_EQ(readMixed(s, -4, 4, nullptr, nullptr).produced, 0);
}

TEST(StemSource, PlaysTheShortestStem) {
    StemSet set = test::levelStems(100, 48000.0);
    set.stems[kStemVocals].resize(2 * 60);
    EXPECT_EQ(StemSource(std::move(set)).frameCount(), 60u);
}

} // namespace
} // namespace vyn
