// The high-quality key lock measured on what the engine renders: a sustained chord and a bass
// stay clean and in tune through key lock and key shift, a click track keeps its attacks on
// time, and the stretcher can change while a deck plays without a click or a jump.

#include "DeckFixture.h"

#include "common/StretchMeasure.h"
#include "common/ToneMeasure.h"

#include <cmath>
#include <tuple>

namespace vyn {
namespace {

using test::kRate;

using test::kBassHz;
using test::kChordHz;

class KeylockQuality : public test::DeckFixture {
protected:
    void SetUp() override {
        DeckFixture::SetUp();
        useKeylockQuality(1);
    }
    void play(std::vector<float> source, double rate, int keyShift) {
        loadTrack(0, test::makeTrack(std::move(source), kRate));
        send(CommandType::SET_KEYLOCK, 0, 1);
        send(CommandType::SET_RATE, 0, rate);
        send(CommandType::SET_KEY_SHIFT, 0, keyShift);
        push(CommandType::PLAY, 0); // the first block rendered after this one is the first heard
    }
};

struct SustainCase {
    const char* name;
    const std::vector<double>* hz;
    double rate;
    int keyShift;
};

class KeylockSustain : public KeylockQuality, public ::testing::WithParamInterface<SustainCase> {};

const SustainCase kSustainCases[] = {
    {"chordAtRate80", &kChordHz, 0.8, 0},     {"chordAtRate94", &kChordHz, 0.94, 0},
    {"chordAtRate106", &kChordHz, 1.06, 0},   {"chordAtRate125", &kChordHz, 1.25, 0},
    {"chordAtRate100Up3", &kChordHz, 1.0, 3}, {"chordAtRate100Down3", &kChordHz, 1.0, -3},
    {"bassAtRate80", &kBassHz, 0.8, 0},       {"bassAtRate94", &kBassHz, 0.94, 0},
    {"bassAtRate106", &kBassHz, 1.06, 0},     {"bassAtRate125", &kBassHz, 1.25, 0}};
INSTANTIATE_TEST_SUITE_P(ChordAndBass, KeylockSustain, ::testing::ValuesIn(kSustainCases),
                         [](const auto& named) { return std::string(named.param.name); });

TEST_P(KeylockSustain, StaysCleanAndInTune) {
    const SustainCase& c = GetParam();
    play(test::partialsSignal(*c.hz, 12.0, kRate), c.rate, c.keyShift);
    const std::vector<float> out = render(7 * 48000);
    // The steady part: 5.46 s from the end of the first second on.
    const test::StretchSpectrum spectrum =
        test::stretchSpectrum(out.data(), out.size() / 2, 2, 0, kRate, 48000);
    const double shift = std::pow(2.0, c.keyShift / 12.0);
    std::vector<double> expected;
    for (double f : *c.hz)
        expected.push_back(f * shift);
    EXPECT_LE(test::offPartialDb(spectrum, expected), -40.0) << c.name;
    for (double f : expected)
        EXPECT_NEAR(test::partialFrequency(spectrum, f), f, f * 0.001) << c.name;
}

TEST_F(KeylockQuality, ClicksKeepTheirAttackAndTheirTimeOverAMinute) {
    const double rate = 1.06;
    const std::vector<float> source = test::clickTrackSignal(62.0, kRate);
    const std::vector<test::ClickReading> sourceClicks =
        test::measureClicks(source.data(), source.size(), 1, 0, kRate);
    play(source, rate, 0);
    const auto frames = static_cast<std::size_t>(60.0 / rate * kRate);
    const std::vector<float> out = render(frames);
    const std::vector<test::ClickReading> clicks =
        test::measureClicks(out.data(), frames, 2, 0, kRate);

    // Every click of the first minute of the track is there, sharp, and where the tempo puts it.
    std::size_t due = 0;
    while (due < sourceClicks.size() && sourceClicks[due].onsetSeconds / rate < 60.0 / rate - 0.01)
        ++due;
    ASSERT_EQ(clicks.size(), due);
    ASSERT_EQ(due, 120u);
    for (std::size_t i = 0; i < due; ++i) {
        EXPECT_LT(clicks[i].riseSeconds, 0.002) << "click " << i;
        EXPECT_NEAR(clicks[i].onsetSeconds, sourceClicks[i].onsetSeconds / rate, 0.005)
            << "click " << i;
    }
    const double spacing = (clicks.back().onsetSeconds - clicks.front().onsetSeconds) / (due - 1);
    EXPECT_NEAR(spacing, 0.5 / rate, 1e-5);
}

// A tone whose pitch rises by 40 Hz a second: under key lock the pitch heard tells which moment
// of the track is playing.
std::vector<float> glide(double seconds) {
    std::vector<float> v(static_cast<std::size_t>(seconds * kRate));
    for (std::size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / kRate;
        v[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * (200.0 * t + 20.0 * t * t)));
    }
    return v;
}

// From quality `from` to the other while playing; with `back`, back again 5 ms into the 20 ms
// crossfade (which waits for the crossfade to end).
class KeylockSwitch : public KeylockQuality,
                      public ::testing::WithParamInterface<std::tuple<int, bool>> {};

INSTANTIATE_TEST_SUITE_P(BothWays, KeylockSwitch,
                         ::testing::Combine(::testing::Values(0, 1), ::testing::Bool()),
                         [](const auto& named) {
                             return std::string(std::get<0>(named.param) == 0 ? "fromWsola"
                                                                              : "fromHighQuality") +
                                    (std::get<1>(named.param) ? "AndBack" : "");
                         });

TEST_P(KeylockSwitch, WhilePlayingNeitherClicksNorJumps) {
    const auto [from, back] = GetParam();
    const double rate = 1.06;
    useKeylockQuality(from);
    play(glide(10.0), rate, 0);
    std::vector<float> out = render(96000);
    const double heardBefore = position() / kRate;
    useKeylockQuality(1 - from);
    for (int b = 0; b < 47; ++b) {
        if (b == 1 && back) useKeylockQuality(from);
        const std::vector<float> more = render(256);
        out.insert(out.end(), more.begin(), more.end());
    }
    const double heardAfter = position() / kRate;

    // The music's own largest step, away from the change, bounds every step across it.
    const double own = std::max(test::largestStep(out, 0, 48000, 96000 - 4800),
                                test::largestStep(out, 0, 96000 + 9600, out.size() / 2));
    EXPECT_LE(test::largestStep(out, 0, 96000 - 4800, 96000 + 9600), own);
    // The position heard goes on at the rate, to within 5 ms, by the deck's account...
    EXPECT_NEAR(heardAfter - heardBefore, 47 * 256 / kRate * rate, 0.005);
    // ...and by the sound of the phase vocoder (WSOLA's splices blur a pitch reading): the 50 ms
    // that end with the render.
    if (from == 0 && !back) {
        const double hz = test::toneFrequency(&out[out.size() - 4800], 2400, 2, 0, kRate);
        EXPECT_NEAR((hz - 200.0) / 40.0, heardAfter - 0.025 * rate, 0.005);
    }
}

} // namespace
} // namespace vyn
