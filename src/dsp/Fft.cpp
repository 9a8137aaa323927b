#include "dsp/Fft.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

// The transform is a four-step split of N = rows x lanes points, laid out as `rows` rows of
// `lanes` consecutive values (one SIMD vector per row):
//  1. a decimation-in-frequency radix-4 transform down the rows, where every butterfly combines
//     whole rows, so each operation is one vertical vector instruction and no shuffles are needed;
//  2. a last pass that takes `lanes` rows at a time (in the digit-reversed order step 1 left them
//     in), multiplies them by exp(-2πi·k1·n2/N), transposes the block in registers and finishes
//     with a `lanes`-point transform across the vectors, storing each result vector straight into
//     its natural place.
// The inverse swaps the real and imaginary arrays (inverse(x) = swap(forward(swap(x)))).

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(_WIN32)
// Windows is left out: its ABI does not keep the stack 32-byte aligned for AVX spills in GCC.
#define VYN_FFT_AVX2 1
#endif
#if defined(__GNUC__) && !defined(__clang__)
#define VYN_FFT_VECTORS 1
// The vector helpers below take vectors by value but are always inlined, so no call ever crosses
// an ABI boundary with them.
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace vyn {
namespace {

#define VYN_ALWAYS_INLINE __attribute__((always_inline)) inline

#ifdef VYN_FFT_VECTORS
typedef float V4 __attribute__((vector_size(16)));
typedef int V4i __attribute__((vector_size(16)));
typedef float V8 __attribute__((vector_size(32)));
typedef int V8i __attribute__((vector_size(32)));
#endif

template <class V> constexpr int kLanes = static_cast<int>(sizeof(V) / sizeof(float));

// Unaligned, aliasing access to a vector's worth of floats.
template <class V> struct Unaligned { using Type = float; };
#ifdef VYN_FFT_VECTORS
template <> struct Unaligned<V4> {
    typedef float Type __attribute__((vector_size(16), aligned(4), may_alias));
};
template <> struct Unaligned<V8> {
    typedef float Type __attribute__((vector_size(32), aligned(4), may_alias));
};
#endif

template <class V> VYN_ALWAYS_INLINE V load(const float* p) {
    return *reinterpret_cast<const typename Unaligned<V>::Type*>(p);
}
template <class V> VYN_ALWAYS_INLINE void store(float* p, const V& v) {
    *reinterpret_cast<typename Unaligned<V>::Type*>(p) = v;
}
template <class V> VYN_ALWAYS_INLINE V splat(float x) {
    return V{} + x;
}

// (xr + i·xi) *= (wr + i·wi)
template <class V> VYN_ALWAYS_INLINE void cmul(V& xr, V& xi, const V& wr, const V& wi) {
    const V r = xr * wr - xi * wi;
    xi = xr * wi + xi * wr;
    xr = r;
}

// Four-point transform of a, b, c, d in place (outputs in natural order).
template <class V> VYN_ALWAYS_INLINE void dft4(V* r, V* i, int a, int b, int c, int d) {
    const V t0r = r[a] + r[c], t0i = i[a] + i[c];
    const V t1r = r[a] - r[c], t1i = i[a] - i[c];
    const V t2r = r[b] + r[d], t2i = i[b] + i[d];
    const V t3r = r[b] - r[d], t3i = i[b] - i[d];
    r[a] = t0r + t2r;
    i[a] = t0i + t2i;
    r[c] = t0r - t2r;
    i[c] = t0i - t2i;
    r[b] = t1r + t3i; // t1 - i·t3
    i[b] = t1i - t3r;
    r[d] = t1r - t3i; // t1 + i·t3
    i[d] = t1i + t3r;
}

// ---------------------------------------------------------------------------------------------
// Step 1: radix-4 (and one final radix-2) decimation in frequency down the rows.

struct Stage {
    std::size_t span = 0; // rows between the four inputs of a butterfly
    int radix = 4;
    std::size_t twiddles = 0; // offset of this stage's table (6 floats per j: w^j, w^2j, w^3j)
};

template <class V, bool Twiddle>
VYN_ALWAYS_INLINE void radix4Pass(const float* __restrict sr, const float* __restrict si,
                                  float* __restrict dr, float* __restrict di, std::size_t values,
                                  std::size_t span, const float* __restrict tw) {
    const std::size_t q = span * kLanes<V>;
    for (std::size_t base = 0; base < values; base += 4 * q) {
        const float* w = tw;
        for (std::size_t j = base; j < base + q; j += kLanes<V>) {
            const V ar = load<V>(sr + j), ai = load<V>(si + j);
            const V br = load<V>(sr + j + q), bi = load<V>(si + j + q);
            const V cr = load<V>(sr + j + 2 * q), ci = load<V>(si + j + 2 * q);
            const V xr = load<V>(sr + j + 3 * q), xi = load<V>(si + j + 3 * q);
            const V t0r = ar + cr, t0i = ai + ci, t1r = ar - cr, t1i = ai - ci;
            const V t2r = br + xr, t2i = bi + xi, t3r = br - xr, t3i = bi - xi;
            V y1r = t1r + t3i, y1i = t1i - t3r; // t1 - i·t3
            V y2r = t0r - t2r, y2i = t0i - t2i;
            V y3r = t1r - t3i, y3i = t1i + t3r; // t1 + i·t3
            if constexpr (Twiddle) {
                cmul(y1r, y1i, splat<V>(w[0]), splat<V>(w[1]));
                cmul(y2r, y2i, splat<V>(w[2]), splat<V>(w[3]));
                cmul(y3r, y3i, splat<V>(w[4]), splat<V>(w[5]));
                w += 6;
            }
            store(dr + j, t0r + t2r);
            store(di + j, t0i + t2i);
            store(dr + j + q, y1r);
            store(di + j + q, y1i);
            store(dr + j + 2 * q, y2r);
            store(di + j + 2 * q, y2i);
            store(dr + j + 3 * q, y3r);
            store(di + j + 3 * q, y3i);
        }
    }
}

template <class V> VYN_ALWAYS_INLINE void radix2Pass(float* re, float* im, std::size_t values) {
    constexpr std::size_t L = kLanes<V>;
    for (std::size_t j = 0; j < values; j += 2 * L) {
        const V ar = load<V>(re + j), ai = load<V>(im + j);
        const V br = load<V>(re + j + L), bi = load<V>(im + j + L);
        store(re + j, ar + br);
        store(im + j, ai + bi);
        store(re + j + L, ar - br);
        store(im + j + L, ai - bi);
    }
}

// ---------------------------------------------------------------------------------------------
// Step 2: transpose a lanes x lanes block and finish with a lanes-point transform.

template <class V> VYN_ALWAYS_INLINE void transpose(V*) {}

template <class V> VYN_ALWAYS_INLINE void smallDft(V*, V*) {}

#ifdef VYN_FFT_VECTORS
template <> VYN_ALWAYS_INLINE void transpose<V4>(V4* x) {
    const V4 t0 = __builtin_shuffle(x[0], x[1], V4i{0, 4, 1, 5});
    const V4 t1 = __builtin_shuffle(x[0], x[1], V4i{2, 6, 3, 7});
    const V4 t2 = __builtin_shuffle(x[2], x[3], V4i{0, 4, 1, 5});
    const V4 t3 = __builtin_shuffle(x[2], x[3], V4i{2, 6, 3, 7});
    x[0] = __builtin_shuffle(t0, t2, V4i{0, 1, 4, 5});
    x[1] = __builtin_shuffle(t0, t2, V4i{2, 3, 6, 7});
    x[2] = __builtin_shuffle(t1, t3, V4i{0, 1, 4, 5});
    x[3] = __builtin_shuffle(t1, t3, V4i{2, 3, 6, 7});
}

template <> VYN_ALWAYS_INLINE void transpose<V8>(V8* x) {
    V8 u[8];
    for (int k = 0; k < 8; k += 2) {
        u[k] = __builtin_shuffle(x[k], x[k + 1], V8i{0, 8, 1, 9, 4, 12, 5, 13});
        u[k + 1] = __builtin_shuffle(x[k], x[k + 1], V8i{2, 10, 3, 11, 6, 14, 7, 15});
    }
    V8 v[8];
    for (int k = 0; k < 8; k += 4) {
        for (int h = 0; h < 2; ++h) {
            v[k + h] = __builtin_shuffle(u[k + h], u[k + h + 2], V8i{0, 1, 8, 9, 4, 5, 12, 13});
            v[k + h + 2] =
                __builtin_shuffle(u[k + h], u[k + h + 2], V8i{2, 3, 10, 11, 6, 7, 14, 15});
        }
    }
    // v[0] holds columns 0 and 4 of rows 0-3, v[1] columns 2 and 6, v[2] 1 and 5, v[3] 3 and 7.
    const int order[4] = {0, 2, 1, 3};
    for (int c = 0; c < 4; ++c) {
        const V8 lo = v[order[c]];
        const V8 hi = v[order[c] + 4];
        x[c] = __builtin_shuffle(lo, hi, V8i{0, 1, 2, 3, 8, 9, 10, 11});
        x[c + 4] = __builtin_shuffle(lo, hi, V8i{4, 5, 6, 7, 12, 13, 14, 15});
    }
}

template <> VYN_ALWAYS_INLINE void smallDft<V4>(V4* r, V4* i) {
    dft4(r, i, 0, 1, 2, 3);
}

template <> VYN_ALWAYS_INLINE void smallDft<V8>(V8* r, V8* i) {
    // Even and odd halves, then one radix-2 layer with the eighth-turn twiddles.
    dft4(r, i, 0, 2, 4, 6);
    dft4(r, i, 1, 3, 5, 7);
    const V8 c = splat<V8>(static_cast<float>(std::numbers::sqrt2 / 2.0));
    V8 orr[4] = {r[1], c * (r[3] + i[3]), i[5], c * (i[7] - r[7])};
    V8 oii[4] = {i[1], c * (i[3] - r[3]), -r[5], -c * (r[7] + i[7])};
    const V8 er[4] = {r[0], r[2], r[4], r[6]};
    const V8 ei[4] = {i[0], i[2], i[4], i[6]};
    for (int k = 0; k < 4; ++k) {
        r[k] = er[k] + orr[k];
        i[k] = ei[k] + oii[k];
        r[k + 4] = er[k] - orr[k];
        i[k + 4] = ei[k] - oii[k];
    }
}
#endif

} // namespace

struct FftPlan {
    std::size_t n = 0;
    int lanes = 1;
    std::size_t rows = 0;
    bool avx2 = false;
    std::vector<Stage> stages;
    std::vector<float> stageTwiddles;
    std::vector<std::uint32_t> rowOf; // where step 1 leaves frequency k1
    std::vector<float> twr, twi;      // exp(-2πi·k1·n2/N) at k1·lanes + n2
    std::vector<float> wre, wim;      // step 1 works here
    std::vector<float> cre, cim;      // interleaved data in split form
    void (*split)(FftPlan&, float*, float*) = nullptr;
    void (*interleaved)(FftPlan&, float*, bool) = nullptr;
};

namespace {

template <class V> VYN_ALWAYS_INLINE void run(FftPlan& p, float* re, float* im) {
    constexpr int L = kLanes<V>;
    float* wr = p.wre.data();
    float* wi = p.wim.data();
    const std::size_t values = p.n;
    // Step 1: the first stage reads the caller's arrays, the rest work in place in the scratch.
    const float* sr = re;
    const float* si = im;
    if (p.stages.empty()) {
        std::memcpy(wr, re, values * sizeof(float));
        std::memcpy(wi, im, values * sizeof(float));
    }
    for (const Stage& s : p.stages) {
        if (s.radix == 2) {
            if (sr != wr) {
                std::memcpy(wr, sr, values * sizeof(float));
                std::memcpy(wi, si, values * sizeof(float));
            }
            radix2Pass<V>(wr, wi, values);
        } else if (s.span == 1) {
            radix4Pass<V, false>(sr, si, wr, wi, values, 1, nullptr);
        } else {
            radix4Pass<V, true>(sr, si, wr, wi, values, s.span, &p.stageTwiddles[s.twiddles]);
        }
        sr = wr;
        si = wi;
    }
    // Step 2: back into the caller's arrays in natural order.
    const std::uint32_t* rowOf = p.rowOf.data();
    const float* twr = p.twr.data();
    const float* twi = p.twi.data();
    const std::size_t rows = p.rows;
    for (std::size_t kb = 0; kb < rows; kb += L) {
        V xr[L], xi[L];
#pragma GCC unroll 16
        for (int t = 0; t < L; ++t) {
            const std::size_t row = rowOf[kb + t];
            xr[t] = load<V>(wr + row * L);
            xi[t] = load<V>(wi + row * L);
            if constexpr (L > 1)
                cmul(xr[t], xi[t], load<V>(twr + (kb + t) * L), load<V>(twi + (kb + t) * L));
        }
        transpose<V>(xr);
        transpose<V>(xi);
        smallDft<V>(xr, xi);
#pragma GCC unroll 16
        for (int k = 0; k < L; ++k) {
            store(re + k * rows + kb, xr[k]);
            store(im + k * rows + kb, xi[k]);
        }
    }
}

// The interleaved form converts to split arrays and back (the inverse swaps the halves).
template <class V>
VYN_ALWAYS_INLINE void runInterleaved(FftPlan& p, float* __restrict data, bool inverse) {
    float* __restrict a = inverse ? p.cim.data() : p.cre.data();
    float* __restrict b = inverse ? p.cre.data() : p.cim.data();
    const std::size_t n = p.n;
    for (std::size_t k = 0; k < n; ++k) {
        a[k] = data[2 * k];
        b[k] = data[2 * k + 1];
    }
    run<V>(p, p.cre.data(), p.cim.data());
    for (std::size_t k = 0; k < n; ++k) {
        data[2 * k] = a[k];
        data[2 * k + 1] = b[k];
    }
}

// One pair of entry points per instruction set; prepare() picks one.
template <class V> void splitEntry(FftPlan& p, float* re, float* im) {
    run<V>(p, re, im);
}
template <class V> void interleavedEntry(FftPlan& p, float* data, bool inverse) {
    runInterleaved<V>(p, data, inverse);
}

#ifdef VYN_FFT_AVX2
__attribute__((target("avx2,fma"))) void splitAvx2(FftPlan& p, float* re, float* im) {
    run<V8>(p, re, im);
}
__attribute__((target("avx2,fma"))) void interleavedAvx2(FftPlan& p, float* data, bool inverse) {
    runInterleaved<V8>(p, data, inverse);
}
#endif

bool hasAvx2() {
#ifdef VYN_FFT_AVX2
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

std::vector<std::uint32_t> digitReversal(std::size_t rows, const std::vector<Stage>& stages) {
    std::vector<std::uint32_t> at(rows);
    for (std::size_t k = 0; k < rows; ++k) {
        std::size_t block = rows;
        std::size_t base = 0;
        std::size_t rest = k;
        for (const Stage& s : stages) {
            const std::size_t r = static_cast<std::size_t>(s.radix);
            block /= r;
            base += (rest % r) * block;
            rest /= r;
        }
        at[k] = static_cast<std::uint32_t>(base);
    }
    return at;
}

} // namespace

Fft::Fft() = default;
Fft::~Fft() = default;

bool Fft::prepare(std::size_t size, Simd simd) {
    plan_.reset();
    size_ = 0;
    if (size < 1 || size > kMaxSize || (size & (size - 1)) != 0) return false;
    auto p = std::make_unique<FftPlan>();
    p->n = size;
    p->avx2 = simd == Simd::Best && hasAvx2();
    // A block of lanes x lanes values needs at least that many points.
    p->lanes = 1;
    p->split = splitEntry<float>;
    p->interleaved = interleavedEntry<float>;
#ifdef VYN_FFT_AVX2
    if (p->avx2 && size >= 64) {
        p->lanes = 8;
        p->split = splitAvx2;
        p->interleaved = interleavedAvx2;
    }
#endif
#ifdef VYN_FFT_VECTORS
    if (p->lanes == 1 && size >= 16) {
        p->lanes = 4;
        p->split = splitEntry<V4>;
        p->interleaved = interleavedEntry<V4>;
    }
#endif
    p->rows = size / static_cast<std::size_t>(p->lanes);

    for (std::size_t span = p->rows / 4; span >= 1; span /= 4) {
        Stage s;
        s.span = span;
        s.twiddles = p->stageTwiddles.size();
        for (std::size_t j = 0; j < span; ++j) {
            for (int k = 1; k <= 3; ++k) {
                const double a = -2.0 * std::numbers::pi * static_cast<double>(k * j) /
                                 static_cast<double>(4 * span);
                p->stageTwiddles.push_back(static_cast<float>(std::cos(a)));
                p->stageTwiddles.push_back(static_cast<float>(std::sin(a)));
            }
        }
        p->stages.push_back(s);
    }
    std::size_t covered = 1;
    for (const Stage& s : p->stages)
        covered *= static_cast<std::size_t>(s.radix);
    if (covered * 2 == p->rows) p->stages.push_back(Stage{1, 2, 0});
    p->rowOf = digitReversal(p->rows, p->stages);

    const std::size_t lanes = static_cast<std::size_t>(p->lanes);
    p->twr.resize(size);
    p->twi.resize(size);
    for (std::size_t k1 = 0; k1 < p->rows; ++k1) {
        for (std::size_t n2 = 0; n2 < lanes; ++n2) {
            const double a = -2.0 * std::numbers::pi * static_cast<double>((k1 * n2) % size) /
                             static_cast<double>(size);
            p->twr[k1 * lanes + n2] = static_cast<float>(std::cos(a));
            p->twi[k1 * lanes + n2] = static_cast<float>(std::sin(a));
        }
    }
    p->wre.assign(size, 0.0f);
    p->wim.assign(size, 0.0f);
    p->cre.assign(size, 0.0f);
    p->cim.assign(size, 0.0f);
    plan_ = std::move(p);
    size_ = size;
    return true;
}

void Fft::forward(float* re, float* im) noexcept {
    if (plan_) plan_->split(*plan_, re, im);
}

void Fft::forward(std::complex<float>* data) noexcept {
    if (plan_) plan_->interleaved(*plan_, reinterpret_cast<float*>(data), false);
}

void Fft::inverse(std::complex<float>* data) noexcept {
    if (plan_) plan_->interleaved(*plan_, reinterpret_cast<float*>(data), true);
}

// ---------------------------------------------------------------------------------------------
// Real transforms: the even samples ride the real part and the odd ones the imaginary part of a
// half-size complex transform; one twiddle pass untangles them.

RealFft::RealFft() = default;
RealFft::~RealFft() = default;

bool RealFft::prepare(std::size_t size) {
    size_ = 0;
    if (size < 2 || size > Fft::kMaxSize || (size & (size - 1)) != 0) return false;
    const std::size_t half = size / 2;
    if (!half_.prepare(half)) return false;
    zr_ = std::make_unique<float[]>(half);
    zi_ = std::make_unique<float[]>(half);
    twr_ = std::make_unique<float[]>(half);
    twi_ = std::make_unique<float[]>(half);
    for (std::size_t k = 0; k < half; ++k) {
        const double a =
            -2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(size);
        twr_[k] = static_cast<float>(std::cos(a));
        twi_[k] = static_cast<float>(std::sin(a));
    }
    size_ = size;
    return true;
}

void RealFft::forward(const float* in, float* re, float* im) noexcept {
    if (!size_) return;
    const std::size_t half = size_ / 2;
    for (std::size_t n = 0; n < half; ++n) {
        zr_[n] = in[2 * n];
        zi_[n] = in[2 * n + 1];
    }
    half_.forward(zr_.get(), zi_.get());
    // X[k] = E[k] + w^k·O[k], with E = (Z[k] + conj Z[h-k]) / 2 and O = (Z[k] - conj Z[h-k]) / 2i.
    re[0] = zr_[0] + zi_[0];
    im[0] = 0.0f;
    re[half] = zr_[0] - zi_[0];
    im[half] = 0.0f;
    for (std::size_t k = 1; k < half; ++k) {
        const float ar = zr_[k], ai = zi_[k];
        const float br = zr_[half - k], bi = -zi_[half - k];
        const float er = 0.5f * (ar + br), ei = 0.5f * (ai + bi);
        const float or_ = 0.5f * (ai - bi), oi = -0.5f * (ar - br);
        re[k] = er + twr_[k] * or_ - twi_[k] * oi;
        im[k] = ei + twr_[k] * oi + twi_[k] * or_;
    }
}

void RealFft::inverse(const float* re, const float* im, float* out) noexcept {
    if (!size_) return;
    const std::size_t half = size_ / 2;
    // Z[k] = E[k] + i·O[k], with E = X[k] + conj X[h-k] and O = (X[k] - conj X[h-k])·conj(w^k).
    for (std::size_t k = 0; k < half; ++k) {
        const float ar = re[k], ai = k == 0 ? 0.0f : im[k];
        const float br = re[half - k], bi = k == 0 ? 0.0f : -im[half - k];
        const float er = ar + br, ei = ai + bi;
        const float dr = ar - br, di = ai - bi;
        const float or_ = dr * twr_[k] + di * twi_[k];
        const float oi = di * twr_[k] - dr * twi_[k];
        zr_[k] = er - oi;
        zi_[k] = ei + or_;
    }
    half_.inverse(zr_.get(), zi_.get());
    for (std::size_t n = 0; n < half; ++n) {
        out[2 * n] = zr_[n];
        out[2 * n + 1] = zi_[n];
    }
}

} // namespace vyn
