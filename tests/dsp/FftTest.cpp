#include "dsp/Fft.h"

#include "common/RealtimeGuard.h"
#include "common/Signals.h"
#include "support/RealtimeScope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <tuple>
#include <vector>

namespace vyn {
namespace {

using Spectrum = std::vector<std::complex<double>>;

// Noise in [-1, 1) in both parts.
std::vector<std::complex<float>> randomSignal(std::size_t n, std::uint32_t seed) {
    const std::vector<float> v = test::stereoNoise(static_cast<int>(n), 1.0f, seed);
    std::vector<std::complex<float>> x(n);
    for (std::size_t k = 0; k < n; ++k)
        x[k] = {v[2 * k], v[2 * k + 1]};
    return x;
}

Spectrum naiveDft(const std::vector<std::complex<float>>& x, double sign) {
    const std::size_t n = x.size();
    Spectrum turn(n);
    for (std::size_t m = 0; m < n; ++m)
        turn[m] = std::polar(1.0, sign * 2.0 * std::numbers::pi * static_cast<double>(m) /
                                      static_cast<double>(n));
    Spectrum out(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<double> sum;
        for (std::size_t j = 0; j < n; ++j)
            sum += std::complex<double>(x[j]) * turn[(k * j) % n];
        out[k] = sum;
    }
    return out;
}

// Largest error relative to the spectrum's RMS: a float transform keeps it near 1e-7·log2(N).
template <class T> double relativeError(const std::vector<T>& got, const Spectrum& want) {
    double energy = 0.0;
    double worst = 0.0;
    for (std::size_t k = 0; k < want.size(); ++k) {
        energy += std::norm(want[k]);
        worst = std::max(worst, std::abs(std::complex<double>(got[k]) - want[k]));
    }
    return worst / std::sqrt(energy / static_cast<double>(want.size()) + 1e-30);
}

// Every size with the processor's best code and with the portable code.
class FftSizes : public ::testing::TestWithParam<std::tuple<std::size_t, Fft::Simd>> {};

TEST_P(FftSizes, MatchesTheDefinitionBothWaysInBothLayouts) {
    const auto [n, simd] = GetParam();
    Fft fft;
    ASSERT_TRUE(fft.prepare(n, simd));
    const auto x = randomSignal(n, static_cast<std::uint32_t>(n));

    std::vector<float> re(n), im(n);
    for (std::size_t k = 0; k < n; ++k) {
        re[k] = x[k].real();
        im[k] = x[k].imag();
    }
    auto interleaved = x;
    test::resetRealtimeViolations();
    {
        realtime::AudioThreadScope audio;
        fft.forward(re.data(), im.data());
        fft.forward(interleaved.data());
    }
    std::vector<std::complex<float>> split(n);
    for (std::size_t k = 0; k < n; ++k)
        split[k] = {re[k], im[k]};
    const Spectrum want = naiveDft(x, -1.0);
    EXPECT_LT(relativeError(split, want), 2e-6);
    EXPECT_LT(relativeError(interleaved, want), 2e-6);

    auto back = x;
    {
        realtime::AudioThreadScope audio;
        fft.inverse(back.data());
        fft.inverse(re.data(), im.data());
    }
    EXPECT_TRUE(test::noRealtimeViolations()) << "a prepared transform allocated";
    EXPECT_LT(relativeError(back, naiveDft(x, 1.0)), 2e-6);
    // The inverse undoes the forward transform up to the factor N.
    for (std::size_t k = 0; k < n; ++k) {
        ASSERT_NEAR(re[k] / static_cast<float>(n), x[k].real(), 1e-5f) << k;
        ASSERT_NEAR(im[k] / static_cast<float>(n), x[k].imag(), 1e-5f) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    PowersOfTwo, FftSizes,
    ::testing::Combine(::testing::Values(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096),
                       ::testing::Values(Fft::Simd::Best, Fft::Simd::Portable)),
    [](const auto& named) {
        return std::to_string(std::get<0>(named.param)) +
               (std::get<1>(named.param) == Fft::Simd::Best ? "Points" : "PointsPortable");
    });

TEST(Fft, RefusesSizesThatAreNotPowersOfTwo) {
    Fft fft;
    for (std::size_t n : {std::size_t{0}, std::size_t{3}, std::size_t{1000}, std::size_t{2049},
                          Fft::kMaxSize * 2}) {
        EXPECT_FALSE(fft.prepare(n)) << n;
        EXPECT_EQ(fft.size(), 0u);
    }
    // An unprepared transform leaves the data alone.
    float re[2] = {1.0f, 2.0f}, im[2] = {3.0f, 4.0f};
    fft.forward(re, im);
    EXPECT_EQ(re[1], 2.0f);
    EXPECT_EQ(im[0], 3.0f);
}

class RealFftSizes : public ::testing::TestWithParam<std::size_t> {};

TEST_P(RealFftSizes, GivesTheNonNegativeBinsOfTheComplexTransformAndInvertsThem) {
    const std::size_t n = GetParam();
    RealFft fft;
    ASSERT_TRUE(fft.prepare(n));
    ASSERT_EQ(fft.bins(), n / 2 + 1);
    auto x = randomSignal(n, 99);
    std::vector<float> real(n);
    for (std::size_t k = 0; k < n; ++k) {
        real[k] = x[k].real();
        x[k] = {x[k].real(), 0.0f};
    }
    std::vector<float> re(fft.bins()), im(fft.bins());
    fft.forward(real.data(), re.data(), im.data());
    std::vector<std::complex<float>> got(fft.bins());
    for (std::size_t k = 0; k < got.size(); ++k)
        got[k] = {re[k], im[k]};
    Spectrum want = naiveDft(x, -1.0);
    want.resize(fft.bins());
    EXPECT_LT(relativeError(got, want), 2e-6);
    EXPECT_EQ(im[0], 0.0f);
    EXPECT_EQ(im[n / 2], 0.0f);

    std::vector<float> back(n);
    fft.inverse(re.data(), im.data(), back.data());
    for (std::size_t k = 0; k < n; ++k)
        ASSERT_NEAR(back[k] / static_cast<float>(n), real[k], 1e-5f) << k;
}

INSTANTIATE_TEST_SUITE_P(PowersOfTwo, RealFftSizes, ::testing::Values(2, 4, 16, 128, 2048));

} // namespace
} // namespace vyn
