#pragma once
// Fast Fourier transforms of power-of-two sizes on 32-bit floats.
//
// Fft transforms complex data, either split (one array of real parts, one of imaginary parts:
// the fastest form) or interleaved std::complex<float>. RealFft transforms real signals through a
// complex transform of half the size and returns the N/2 + 1 non-negative frequency bins.
//
// Conventions: forward X[k] = sum x[n]·exp(-2πi·kn/N), inverse with exp(+2πi·kn/N); neither
// scales, so inverse(forward(x)) = N·x. Two real signals ride one complex transform as x + i·y;
// their spectra come apart as X[k] = (Z[k] + conj Z[N-k]) / 2 and Y[k] = (Z[k] - conj Z[N-k]) / 2i.
//
// prepare() allocates every table and scratch buffer; after it the transforms never allocate,
// lock or wait, so they may run on the audio thread. On x86-64 the transform picks AVX2 code at
// prepare time when the processor has it.
//
// Threading: a transform uses the object's scratch, so one object serves one thread at a time;
// prepare() must not run concurrently with a transform.

#include <complex>
#include <cstddef>
#include <memory>

namespace vyn {

struct FftPlan; // tables and scratch, private to Fft.cpp

class Fft {
public:
    static constexpr std::size_t kMaxSize = std::size_t{1} << 20;

    Fft();
    ~Fft();
    Fft(const Fft&) = delete;
    Fft& operator=(const Fft&) = delete;

    // Best picks the widest vector code the processor runs; Portable keeps to the baseline
    // instruction set (the code every other machine runs, so tests can check it anywhere).
    enum class Simd { Best, Portable };

    // Builds the tables for `size` points: a power of two from 1 to kMaxSize. False (and no
    // transform prepared) otherwise.
    bool prepare(std::size_t size, Simd simd = Simd::Best);
    std::size_t size() const { return size_; }

    // In place on split arrays of size() values each.
    void forward(float* re, float* im) noexcept;
    void inverse(float* re, float* im) noexcept { forward(im, re); }

    // In place on size() interleaved values.
    void forward(std::complex<float>* data) noexcept;
    void inverse(std::complex<float>* data) noexcept;

private:
    std::unique_ptr<FftPlan> plan_;
    std::size_t size_ = 0;
};

class RealFft {
public:
    RealFft();
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    // `size` real points: a power of two from 2 to Fft::kMaxSize.
    bool prepare(std::size_t size);
    std::size_t size() const { return size_; }
    std::size_t bins() const { return size_ ? size_ / 2 + 1 : 0; }

    // `in` holds size() samples; `re` and `im` receive bins() values (im[0] and im[size/2] are 0).
    void forward(const float* in, float* re, float* im) noexcept;
    // From bins() values (the imaginary parts of bins 0 and size/2 are ignored) to size()
    // samples, unscaled: inverse(forward(x)) = size()·x.
    void inverse(const float* re, const float* im, float* out) noexcept;

private:
    Fft half_;
    std::unique_ptr<float[]> zr_;
    std::unique_ptr<float[]> zi_;
    std::unique_ptr<float[]> twr_; // exp(-2πi·k/N), k < N/2
    std::unique_ptr<float[]> twi_;
    std::size_t size_ = 0;
};

} // namespace vyn
