// The 2048-point complex transform of the stem separator: our FFT (split and interleaved) against
// FFTW's single-precision transform of the same size, planned with FFTW_MEASURE, in one run.

#include "dsp/Fft.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <complex>
#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t kSize = 2048;

std::vector<float> noise(std::uint32_t seed) {
    std::vector<float> v(kSize);
    for (float& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
    }
    return v;
}

void OurFftSplit(benchmark::State& state) {
    vyn::Fft fft;
    fft.prepare(kSize);
    std::vector<float> re = noise(1), im = noise(2);
    for (auto _ : state) {
        fft.forward(re.data(), im.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(OurFftSplit);

void OurFftInterleaved(benchmark::State& state) {
    vyn::Fft fft;
    fft.prepare(kSize);
    std::vector<float> re = noise(1), im = noise(2);
    std::vector<std::complex<float>> data(kSize);
    for (std::size_t k = 0; k < kSize; ++k)
        data[k] = {re[k], im[k]};
    for (auto _ : state) {
        fft.forward(data.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(OurFftInterleaved);

void FftwInterleaved(benchmark::State& state) {
    fftwf_complex* data = fftwf_alloc_complex(kSize);
    fftwf_plan plan =
        fftwf_plan_dft_1d(static_cast<int>(kSize), data, data, FFTW_FORWARD, FFTW_MEASURE);
    const std::vector<float> re = noise(1), im = noise(2);
    for (std::size_t k = 0; k < kSize; ++k) {
        data[k][0] = re[k];
        data[k][1] = im[k];
    }
    for (auto _ : state) {
        fftwf_execute(plan);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}
BENCHMARK(FftwInterleaved);

void FftwSplit(benchmark::State& state) {
    float* re = fftwf_alloc_real(kSize);
    float* im = fftwf_alloc_real(kSize);
    fftwf_iodim dim{static_cast<int>(kSize), 1, 1};
    fftwf_plan plan = fftwf_plan_guru_split_dft(1, &dim, 0, nullptr, re, im, re, im, FFTW_MEASURE);
    const std::vector<float> r = noise(1), i = noise(2);
    for (std::size_t k = 0; k < kSize; ++k) {
        re[k] = r[k];
        im[k] = i[k];
    }
    for (auto _ : state) {
        fftwf_execute_split_dft(plan, re, im, re, im);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(re);
    fftwf_free(im);
}
BENCHMARK(FftwSplit);

} // namespace

BENCHMARK_MAIN();
