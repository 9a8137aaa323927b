#include "dsp/SincInterpolator.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>

namespace vyn {
namespace {

constexpr int kHalf = SincInterpolator::kHalfTaps;
constexpr int kTaps = 2 * kHalf;
constexpr int kPhases = 256;
constexpr double kBeta = 9.0;
// A row holds one phase's taps, each twice (left, right), so that a row multiplies a span of
// interleaved frames element by element and the compiler can vectorise it.
constexpr int kRow = 2 * kTaps;
constexpr int kMaxLowPassHalf = static_cast<int>(kHalf * SincInterpolator::kMaxWidening) - 1;
constexpr int kMaxLowPassFloats = 2 * (2 * kMaxLowPassHalf + 2);

double besselI0(double x) {
    double sum = 1.0;
    double term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 64 && term > 1e-17 * sum; ++k) {
        term *= q / (static_cast<double>(k) * k);
        sum += term;
    }
    return sum;
}

// The windowed sinc at `t` frames from the position; exactly 0 at every other whole frame.
double prototype(double t) {
    if (std::fabs(t) >= kHalf) return 0.0;
    if (t == 0.0) return 1.0;
    if (t == std::floor(t)) return 0.0;
    const double r = t / kHalf;
    const double window = besselI0(kBeta * std::sqrt(1.0 - r * r)) / besselI0(kBeta);
    return std::sin(std::numbers::pi * t) / (std::numbers::pi * t) * window;
}

// Row p holds the taps for the frames floor(x) - 15 ... floor(x) + 16 when x - floor(x) = p / 256,
// each row scaled to sum to 1 so that a constant passes unchanged at every phase. Row 256 (a
// fraction of 1) lets the last phase interpolate towards it.
struct KernelTable {
    std::vector<float> rows;
    KernelTable() : rows(static_cast<std::size_t>(kPhases + 1) * kRow) {
        for (int p = 0; p <= kPhases; ++p) {
            double taps[kTaps];
            double sum = 0.0;
            for (int j = 0; j < kTaps; ++j) {
                taps[j] = prototype((j - (kHalf - 1)) - static_cast<double>(p) / kPhases);
                sum += taps[j];
            }
            float* row = rows.data() + static_cast<std::size_t>(p) * kRow;
            for (int j = 0; j < kTaps; ++j)
                row[2 * j] = row[2 * j + 1] = static_cast<float>(taps[j] / sum);
        }
    }
    // The kernel at any `t` in (-16, 16), interpolated between phases.
    double at(double t) const {
        const double whole = std::ceil(t);
        const int j = static_cast<int>(whole) + kHalf - 1;
        const double phase = (whole - t) * kPhases;
        const int p = std::min(static_cast<int>(phase), kPhases - 1);
        const double w = phase - p;
        const float a = rows[static_cast<std::size_t>(p) * kRow + 2 * j];
        const float b = rows[static_cast<std::size_t>(p + 1) * kRow + 2 * j];
        return a + w * (b - a);
    }
};

const KernelTable& kernel() {
    static const KernelTable table;
    return table;
}

int lowPassHalf(double widening) {
    return widening > 1.0 ? static_cast<int>(std::ceil(kHalf * widening)) - 1 : 0;
}

double wideningFor(double speed) {
    const double v = std::isfinite(speed) ? std::fabs(speed) : 0.0;
    return std::min(std::max(v, 1.0), SincInterpolator::kMaxWidening);
}

// Four floats that the compiler keeps in one SIMD register (SSE on x86-64) and multiplies lane by
// lane; loads and stores go through memcpy, so no alignment is assumed.
typedef float Float4 __attribute__((vector_size(16)));

inline Float4 load4(const float* p) {
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Interpolates `src` at each position with the tabulated kernel. Positions lie in [lo, hi] (lo >=
// 15), where the kernel's 32 frames stay inside `src`.
void polyphase(const float* src, double x0, double speed, double lo, double hi, float* out,
               int frames) {
    const float* rows = kernel().rows.data();
    for (int i = 0; i < frames; ++i) {
        const double x = std::clamp(x0 + i * speed, lo, hi);
        const auto whole = static_cast<std::int64_t>(x); // x > 0: truncation is floor
        const double phase = (x - static_cast<double>(whole)) * kPhases; // exact: a power of two
        const int p = static_cast<int>(phase);
        const float w = static_cast<float>(phase - p);
        const float* a = rows + static_cast<std::size_t>(p) * kRow;
        const float* b = a + kRow;
        const float* s = src + 2 * (whole - (kHalf - 1));
        Float4 acc0 = {};
        Float4 acc1 = {};
        for (int k = 0; k < kRow; k += 8) {
            const Float4 a0 = load4(a + k);
            const Float4 a1 = load4(a + k + 4);
            acc0 += (a0 + w * (load4(b + k) - a0)) * load4(s + k);
            acc1 += (a1 + w * (load4(b + k + 4) - a1)) * load4(s + k + 4);
        }
        const Float4 sum = acc0 + acc1; // left, right, left, right
        out[2 * i] = sum[0] + sum[2];
        out[2 * i + 1] = sum[1] + sum[3];
    }
}

// Low-passes the frames [from, to] of `raw` into `filtered` with `taps` stereo-duplicated
// coefficients (a whole number of pairs) centred `half` frames on.
void lowPass(const float* raw, int from, int to, const float* coefficients, int taps, int half,
             float* filtered) {
    for (int k = from; k <= to; ++k) {
        const float* s = raw + 2 * static_cast<std::ptrdiff_t>(k - half);
        Float4 acc = {};
        for (int m = 0; m < 2 * taps; m += 4)
            acc += load4(coefficients + m) * load4(s + m);
        filtered[2 * static_cast<std::ptrdiff_t>(k)] = acc[0] + acc[2];
        filtered[2 * static_cast<std::ptrdiff_t>(k) + 1] = acc[1] + acc[3];
    }
}

} // namespace

int SincInterpolator::reach(double speed) {
    // One frame more than the kernels span, for the low-pass's padding tap.
    return kHalf + lowPassHalf(wideningFor(speed)) + 2;
}

void SincInterpolator::prepare(int maxCount) {
    kernel(); // built here, off the audio thread
    filtered_.assign(2 * static_cast<std::size_t>(std::max(maxCount, 1)), 0.0f);
    lowPass_.assign(kMaxLowPassFloats, 0.0f);
    widening_ = 0.0;
    lowPassHalf_ = 0;
}

void SincInterpolator::designLowPass(double widening) {
    if (widening == widening_) return;
    widening_ = widening;
    lowPassHalf_ = lowPassHalf(widening);
    const int taps = 2 * lowPassHalf_ + 1;
    const KernelTable& table = kernel();
    double coefficients[2 * kMaxLowPassHalf + 1];
    double sum = 0.0;
    for (int m = 0; m < taps; ++m) {
        coefficients[m] = table.at((m - lowPassHalf_) / widening);
        sum += coefficients[m];
    }
    std::fill(lowPass_.begin(), lowPass_.end(), 0.0f);
    for (int m = 0; m < taps; ++m)
        lowPass_[2 * m] = lowPass_[2 * m + 1] = static_cast<float>(coefficients[m] / sum);
}

void SincInterpolator::interpolate(const float* raw, int count, double x0, double speed, float* out,
                                   int frames) {
    if (frames < 1) return;
    if (!std::isfinite(speed)) speed = 0.0;
    const double widening = wideningFor(speed);
    const int half = lowPassHalf(widening);
    const double lo = kHalf - 1 + half;
    const double hi = count - 2 - kHalf - half;
    if (hi < lo || count > static_cast<int>(filtered_.size() / 2)) {
        std::memset(out, 0, sizeof(float) * 2 * static_cast<std::size_t>(frames));
        return;
    }
    const double last = x0 + (frames - 1) * speed;
    if (speed == 1.0 && x0 == std::floor(x0) && x0 >= lo && last <= hi) {
        std::memcpy(out, raw + 2 * static_cast<std::ptrdiff_t>(x0),
                    sizeof(float) * 2 * static_cast<std::size_t>(frames));
        return;
    }
    if (half == 0) {
        polyphase(raw, x0, speed, lo, hi, out, frames);
        return;
    }
    // Low-pass just the frames the interpolation reaches, then interpolate the filtered span.
    designLowPass(widening);
    const int from =
        static_cast<int>(std::floor(std::clamp(std::min(x0, last), lo, hi))) - (kHalf - 1);
    const int to = static_cast<int>(std::floor(std::clamp(std::max(x0, last), lo, hi))) + kHalf;
    lowPass(raw, from, to, lowPass_.data(), 2 * half + 2, half, filtered_.data());
    polyphase(filtered_.data(), x0, speed, lo, hi, out, frames);
}

} // namespace vyn
