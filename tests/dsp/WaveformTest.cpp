// Waveform analysis, reduction and colouring with signals whose answer is known.

#include "dsp/Waveform.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace vyn {
namespace {

std::vector<std::int16_t> stereoSine(double hz, double rate, std::size_t frames, double amp) {
    std::vector<std::int16_t> s(frames * 2);
    for (std::size_t i = 0; i < frames; ++i)
        s[2 * i] = s[2 * i + 1] = static_cast<std::int16_t>(
            amp * 32767.0 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate));
    return s;
}

Waveform analyse(const std::vector<std::int16_t>& s, double rate) {
    return analyseWaveform(s.data(), s.size() / 2, rate, 150.0);
}

// A column as one comparable value: height, low, mid, high.
std::array<int, 4> bands(const WaveColumn& c) {
    return {c.height, c.low, c.mid, c.high};
}

// Analysis

TEST(WaveformAnalysis, FullScaleSquareIsFullHeightAndSilenceIsFlatWithNoBands) {
    std::vector<std::int16_t> square(44100 * 2);
    for (std::size_t i = 0; i < 44100; ++i)
        square[2 * i] = square[2 * i + 1] = (i / 147) % 2 ? 32767 : -32768; // 150 Hz
    const Waveform loud = analyse(square, 44100);
    const Waveform silent = analyse(std::vector<std::int16_t>(48000 * 2, 0), 48000);
    ASSERT_EQ(loud.columns.size(), 150u);
    ASSERT_EQ(silent.columns.size(), 150u);
    for (std::size_t i = 0; i < 150; ++i) {
        ASSERT_EQ(loud.columns[i].height, 31) << i;
        ASSERT_EQ(bands(silent.columns[i]), (std::array<int, 4>{0, 0, 0, 0})) << i;
    }
}

TEST(WaveformAnalysis, LowToneFallsIntoTheLowBandHighToneIntoTheHighBand) {
    const Waveform low = analyse(stereoSine(100, 44100, 44100, 0.8), 44100);
    const Waveform high = analyse(stereoSine(10000, 44100, 44100, 0.8), 44100);
    // Skip the first columns while the filters settle.
    for (std::size_t i = 10; i < 150; ++i) {
        const WaveColumn& l = low.columns[i];
        EXPECT_GT(l.low, l.mid) << i;
        EXPECT_GT(l.low, l.high) << i;
        EXPECT_GE(l.low, 4) << i;
        EXPECT_LE(l.high, 1) << i;
        EXPECT_GT(l.height, 20) << i;
        const WaveColumn& h = high.columns[i];
        EXPECT_GT(h.high, h.mid) << i;
        EXPECT_EQ(h.low, 0) << i;
        EXPECT_GE(h.high, 6) << i;
    }
}

TEST(WaveformAnalysis, ColumnCountIsTheCeilingOfFramesOverColumnLengthAndDegenerateInputsGiveNone) {
    const std::vector<std::int16_t> tenSeconds(441000 * 2, 100);
    const Waveform w = analyseWaveform(tenSeconds.data(), 441000, 44100, 150.0);
    EXPECT_EQ(w.columns.size(), 1500u);
    EXPECT_EQ(w.columnsPerSecond, 150.0);
    // One frame more opens a last, short column that still carries its level.
    const std::vector<std::int16_t> plusOne(441001 * 2, 100);
    const Waveform w2 = analyseWaveform(plusOne.data(), 441001, 44100, 150.0);
    ASSERT_EQ(w2.columns.size(), 1501u);
    EXPECT_EQ(w2.columns.back().height, w2.columns[1000].height);
    EXPECT_GT(w2.columns.back().height, 0);

    const std::vector<std::int16_t> s(1000 * 2, 5000);
    for (const Waveform& empty :
         {analyseWaveform(s.data(), 1000, 100.0, 150.0), // s < 1
          analyseWaveform(nullptr, 1000, 44100.0, 150.0),
          analyseWaveform(s.data(), 0, 44100.0, 150.0), analyseWaveform(s.data(), 1000, 0.0, 150.0),
          analyseWaveform(s.data(), 1000, -44100.0, 150.0),
          analyseWaveform(s.data(), 1000, 44100.0, 0.0)}) {
        EXPECT_TRUE(empty.columns.empty());
        EXPECT_EQ(empty.columnsPerSecond, 150.0);
    }
    // Exactly one frame per column is allowed.
    EXPECT_EQ(analyseWaveform(s.data(), 1000, 150.0, 150.0).columns.size(), 1000u);
}

// Reduction

TEST(WaveformReduction, PairsTakeTheLouderHeightAndHeightWeightedBandsWhenThereIsAnythingToReduce) {
    Waveform in;
    in.columnsPerSecond = 75.0;
    in.columns.assign(10, WaveColumn{5, 1, 2, 3});
    // Nothing to reduce.
    const Waveform same = reduceWaveform(in, 10);
    EXPECT_EQ(same.columns.size(), 10u);
    EXPECT_EQ(same.columnsPerSecond, 75.0);
    EXPECT_EQ(bands(same.columns[9]), (std::array<int, 4>{5, 1, 2, 3}));
    const Waveform none = reduceWaveform(in, 0);
    EXPECT_TRUE(none.columns.empty());
    EXPECT_EQ(none.columnsPerSecond, 150.0);
    EXPECT_TRUE(reduceWaveform(Waveform{}, 2048).columns.empty());

    in.columns.clear();
    in.columnsPerSecond = 150.0;
    for (int i = 0; i < 2048; ++i) {
        in.columns.push_back({10, 7, 1, 0});
        in.columns.push_back({20, 0, 7, 6});
    }
    in.columns[0] = {1, 0, 7, 0}; // with {20,0,7,6} is the pair 0 case
    in.columns[2] = {0, 7, 7, 7}; // silent columns weigh nothing
    in.columns[3] = {0, 3, 3, 3};
    const Waveform out = reduceWaveform(in, 2048);
    ASSERT_EQ(out.columns.size(), 2048u);
    EXPECT_DOUBLE_EQ(out.columnsPerSecond, 75.0);
    // Low 70 / 30 = 2.33, mid 150 / 30 = 5, high 120 / 30 = 4.
    EXPECT_EQ(bands(out.columns[5]), (std::array<int, 4>{20, 2, 5, 4}));
    // Mid (7 + 140) / 21 = 7, high 120 / 21 = 5.71 rounds up.
    EXPECT_EQ(bands(out.columns[0]), (std::array<int, 4>{20, 0, 7, 6}));
    EXPECT_EQ(bands(out.columns[1]), (std::array<int, 4>{0, 0, 0, 0}));
}

TEST(WaveformReduction, LongWaveformKeepsEveryColumnInItsPlace) {
    // 300,000 columns (over half an hour) to 20,000: j * M passes 2^32 for the last columns.
    Waveform in;
    in.columns.assign(300000, WaveColumn{3, 1, 1, 1});
    in.columns[250000] = {31, 7, 0, 0};
    in.columns[299999] = {29, 0, 0, 7};
    const Waveform out = reduceWaveform(in, 20000);
    ASSERT_EQ(out.columns.size(), 20000u);
    for (std::size_t j = 0; j < out.columns.size(); ++j) {
        const int want = j == 16666 ? 31 : j == 19999 ? 29 : 3;
        ASSERT_EQ(out.columns[j].height, want) << "column " << j;
    }
    EXPECT_DOUBLE_EQ(out.columnsPerSecond, 10.0);

    const Waveform small = reduceWaveform(in, 2048);
    ASSERT_EQ(small.columns.size(), 2048u);
    EXPECT_EQ(small.columns.back().height, 29);
    EXPECT_EQ(small.columns[250000 * 2048 / 300000].height, 31);
}

} // namespace
} // namespace vyn
