// The spectral separator on signals whose answer is known: where each kind of sound lands,
// measured as the share of the energy the stems carry.

#include "dsp/SpectralSeparator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace vyn {
namespace {

using Channel = std::function<double(double seconds)>;

std::vector<std::int16_t> stereo(double rate, double seconds, const Channel& left,
                                 const Channel& right) {
    const auto frames = static_cast<std::size_t>(rate * seconds);
    std::vector<std::int16_t> pcm(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        pcm[2 * i] = static_cast<std::int16_t>(std::lround(left(t)));
        pcm[2 * i + 1] = static_cast<std::int16_t>(std::lround(right(t)));
    }
    return pcm;
}

Channel tone(double hz, double amplitude = 8000.0) {
    return [=](double t) { return amplitude * std::sin(2.0 * std::numbers::pi * hz * t); };
}

Channel sum(std::vector<Channel> parts) {
    return [=](double t) {
        double v = 0.0;
        for (const Channel& c : parts)
            v += c(t);
        return v;
    };
}

StemSet split(const std::vector<std::int16_t>& pcm, double rate) {
    StemSet stems;
    SpectralSeparator separator;
    EXPECT_TRUE(separator.separate(pcm.data(), static_cast<std::int64_t>(pcm.size() / 2), rate,
                                   stems, nullptr));
    return stems;
}

// Share of the four stems' energy that `stem` carries over frames [from, to).
double share(const StemSet& s, int stem, std::size_t from, std::size_t to) {
    double energy[kStemCount] = {};
    double total = 0.0;
    for (int k = 0; k < kStemCount; ++k) {
        for (std::size_t i = 2 * from; i < 2 * to; ++i)
            energy[k] += static_cast<double>(s.stems[k][i]) * s.stems[k][i];
        total += energy[k];
    }
    return total > 0 ? energy[stem] / total : 0.0;
}

struct Placement {
    const char* name;
    double rate;
    Channel left;
    Channel right;
    int stem;
};

class WhereSoundsLand : public ::testing::TestWithParam<Placement> {};

TEST_P(WhereSoundsLand, MostOfTheEnergyReachesOneStem) {
    const Placement& c = GetParam();
    const StemSet s = split(stereo(c.rate, 3.0, c.left, c.right), c.rate);
    // Away from the start and end, where a steady tone's onset is a hit of its own.
    const auto from = static_cast<std::size_t>(c.rate * 1.0);
    const auto to = static_cast<std::size_t>(c.rate * 2.0);
    EXPECT_GE(share(s, c.stem, from, to), 0.9) << c.name;
}

const Channel kHarmonic1k = sum({tone(1000.0), tone(2000.0, 4000.0), tone(3000.0, 2000.0)});
const Channel kVocalBand = sum({tone(500.0, 5000.0), tone(1500.0, 5000.0), tone(4500.0, 5000.0)});

INSTANTIATE_TEST_SUITE_P(
    Separator, WhereSoundsLand,
    ::testing::Values(
        Placement{"steady100HzSine", 44100.0, tone(100.0), tone(100.0), kStemBass},
        Placement{"sine100HzAt8kHz", 8000.0, tone(100.0), tone(100.0), kStemBass},
        Placement{"centredHarmonic1kHz", 44100.0, kHarmonic1k, kHarmonic1k, kStemVocals},
        Placement{"monoVocalBand", 48000.0, kVocalBand, kVocalBand, kStemVocals},
        Placement{"sine1kHzPannedLeft", 44100.0, tone(1000.0), tone(0.0), kStemOther}),
    [](const auto& named) { return std::string(named.param.name); });

TEST(SpectralSeparator, OppositePhaseGivesNoVocals) {
    const StemSet s =
        split(stereo(44100.0, 3.0, kHarmonic1k, [](double t) { return -kHarmonic1k(t); }), 44100.0);
    EXPECT_LT(share(s, kStemVocals, 44100, 88200), 0.001);
}

TEST(SpectralSeparator, AClickLandsInDrumsAtTheSameSample) {
    constexpr double kRate = 44100.0;
    constexpr std::size_t kClick = 30011;
    std::vector<std::int16_t> pcm(2 * 88200, 0);
    pcm[2 * kClick] = pcm[2 * kClick + 1] = 30000;
    const StemSet s = split(pcm, kRate);
    EXPECT_GE(share(s, kStemDrums, 0, 88200), 0.9);
    std::size_t peak = 0;
    for (std::size_t i = 0; i < 88200; ++i)
        if (std::abs(s.stems[kStemDrums][2 * i]) > std::abs(s.stems[kStemDrums][2 * peak]))
            peak = i;
    EXPECT_EQ(peak, kClick);
}

TEST(SpectralSeparator, TheFourStemsAddUpToTheOriginal) {
    // Loud enough that some stems clip: only those samples may differ.
    const Channel kick = [](double t) {
        const double beat = std::fmod(t, 0.5);
        return 30000.0 * std::exp(-30.0 * beat) * std::sin(2 * std::numbers::pi * 55.0 * beat);
    };
    const std::vector<std::int16_t> original =
        stereo(44100.0, 4.0, sum({kick, kHarmonic1k}), sum({kick, tone(700.0, 9000.0)}));
    const StemSet s = split(original, 44100.0);
    ASSERT_EQ(s.frames, static_cast<std::int64_t>(original.size() / 2));
    long mismatches = 0;
    for (std::size_t i = 0; i < original.size(); ++i) {
        const int total = s.stems[0][i] + s.stems[1][i] + s.stems[2][i] + s.stems[3][i];
        const bool clamped = s.stems[3][i] == 32767 || s.stems[3][i] == -32768;
        if (total != original[i] && !clamped) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(s.sampleRate, 44100.0);
    EXPECT_FALSE(s.neural);
}

TEST(SpectralSeparator, ReportsProgressEvery64FramesAndStopsWhenAsked) {
    const std::vector<std::int16_t> pcm = stereo(44100.0, 10.0, tone(300.0), tone(300.0));
    const std::int64_t frames = 441000;
    const double frameCount = std::floor((frames + 4096 + 1024 * 8) / 512.0) + 1;
    SpectralSeparator separator;
    StemSet s;
    std::vector<float> reports;
    ASSERT_TRUE(separator.separate(pcm.data(), frames, 44100.0, s, [&](float f) {
        reports.push_back(f);
        return true;
    }));
    ASSERT_GE(reports.size(), 2u);
    EXPECT_FLOAT_EQ(reports.front(), static_cast<float>(64 / frameCount));
    EXPECT_EQ(reports.back(), 1.0f);
    for (std::size_t i = 1; i < reports.size(); ++i)
        EXPECT_GT(reports[i], reports[i - 1]);

    reports.clear();
    EXPECT_FALSE(separator.separate(pcm.data(), frames, 44100.0, s, [&](float f) {
        reports.push_back(f);
        return false;
    }));
    ASSERT_EQ(reports.size(), 1u) << "the split ends at its first report, after 64 frames";
}

TEST(SpectralSeparator, RefusesUnusableInput) {
    SpectralSeparator separator;
    StemSet s;
    const std::int16_t pcm[4] = {1, 2, 3, 4};
    EXPECT_FALSE(separator.separate(nullptr, 2, 44100.0, s, nullptr));
    EXPECT_FALSE(separator.separate(pcm, 0, 44100.0, s, nullptr));
    EXPECT_FALSE(separator.separate(pcm, 2, 0.0, s, nullptr));
    EXPECT_FALSE(separator.separate(pcm, 2, std::nan(""), s, nullptr));
    EXPECT_FALSE(separator.separate(pcm, 2, INFINITY, s, nullptr));
}

} // namespace
} // namespace vyn
