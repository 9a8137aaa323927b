#include "dsp/Waveform.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vyn {
namespace {

std::uint8_t level(double scaled, double ceiling) {
    if (!(scaled > 0.0)) return 0;
    return static_cast<std::uint8_t>(std::min(ceiling, scaled) + 0.5);
}

double onePoleCoefficient(double hz, double sampleRate) {
    const double a = std::exp(-2.0 * std::numbers::pi * hz / sampleRate);
    return (a > 0.0 && a < 1.0) ? a : 0.0;
}

} // namespace

Waveform analyseWaveform(const std::int16_t* stereo, std::uint64_t frames, double sampleRate,
                         double columnsPerSecond) {
    Waveform w;
    if (!stereo || frames == 0 || !(sampleRate > 0.0) || !(columnsPerSecond > 0.0)) return w;
    const double s = sampleRate / columnsPerSecond;
    if (s < 1.0) return w;
    const auto count = static_cast<std::uint64_t>(std::ceil(static_cast<double>(frames) / s));
    w.columns.resize(count);
    w.columnsPerSecond = columnsPerSecond;
    const double aL = onePoleCoefficient(200.0, sampleRate);
    const double aM = onePoleCoefficient(2000.0, sampleRate);
    double lpL = 0.0, lpM = 0.0;
    std::uint64_t begin = 0;
    constexpr double kScale = 1.0 / 32768.0;
    for (std::uint64_t c = 0; c < count; ++c) {
        const auto end =
            std::min(static_cast<std::uint64_t>(static_cast<double>(c + 1) * s), frames);
        if (end <= begin) continue;
        double peak = 0.0, sumL = 0.0, sumM = 0.0, sumH = 0.0;
        for (std::uint64_t f = begin; f < end; ++f) {
            const double m = (stereo[2 * f] * kScale + stereo[2 * f + 1] * kScale) * 0.5;
            peak = std::max(peak, std::fabs(m));
            lpL = (1.0 - aL) * m + aL * lpL;
            lpM = (1.0 - aM) * m + aM * lpM;
            const double low = lpL, mid = lpM - lpL, high = m - lpM;
            sumL += low * low;
            sumM += mid * mid;
            sumH += high * high;
        }
        const double n = static_cast<double>(end - begin);
        WaveColumn& col = w.columns[c];
        col.height = level(31.0 * std::pow(peak, 0.6), 31.0);
        const double rL = std::sqrt(sumL / n), rM = std::sqrt(sumM / n), rH = std::sqrt(sumH / n);
        const double t = rL + rM + rH;
        if (t > 1e-9) {
            col.low = level(7.0 * rL / t, 7.0);
            col.mid = level(7.0 * rM / t, 7.0);
            col.high = level(7.0 * rH / t, 7.0);
        }
        begin = end;
    }
    return w;
}

Waveform reduceWaveform(const Waveform& in, std::size_t maxColumns) {
    Waveform out;
    const std::uint64_t m = in.columns.size();
    if (m == 0 || maxColumns == 0) return out;
    if (m <= maxColumns) return in;
    const std::uint64_t n = maxColumns;
    out.columns.resize(n);
    for (std::uint64_t j = 0; j < n; ++j) {
        const std::uint64_t a = j * m / n;
        const std::uint64_t b = std::min(std::max((j + 1) * m / n, a + 1), m);
        std::uint32_t height = 0;
        std::uint64_t weight = 0, low = 0, mid = 0, high = 0;
        for (std::uint64_t i = a; i < b; ++i) {
            const WaveColumn& c = in.columns[i];
            height = std::max<std::uint32_t>(height, c.height);
            weight += c.height;
            low += static_cast<std::uint64_t>(c.low) * c.height;
            mid += static_cast<std::uint64_t>(c.mid) * c.height;
            high += static_cast<std::uint64_t>(c.high) * c.height;
        }
        WaveColumn& o = out.columns[j];
        o.height = static_cast<std::uint8_t>(height);
        if (weight > 0) {
            const double w = static_cast<double>(weight);
            o.low = level(static_cast<double>(low) / w, 7.0);
            o.mid = level(static_cast<double>(mid) / w, 7.0);
            o.high = level(static_cast<double>(high) / w, 7.0);
        }
    }
    out.columnsPerSecond = in.columnsPerSecond * static_cast<double>(n) / static_cast<double>(m);
    return out;
}

WaveColour waveColour(const WaveColumn& column, WaveformStyle style) {
    constexpr float kSeventh = 0.14285715f;
    const float low = column.low * kSeventh, mid = column.mid * kSeventh,
                high = column.high * kSeventh;
    if (style == WaveformStyle::Rgb) return {low, mid, high};
    return {std::clamp(mid + high, 0.0f, 1.0f), std::clamp(0.7f * mid + high, 0.0f, 1.0f),
            std::clamp(low + high, 0.0f, 1.0f)};
}

} // namespace vyn
