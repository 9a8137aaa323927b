#include "app/window/WaveformView.h"

#include "app/Application.h"
#include "app/DeckPanel.h"
#include "app/window/Theme.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace vyn {
namespace {

ImU32 columnColour(const WaveColumn& c, int alpha) {
    const WaveColour w = waveColour(c, WaveformStyle::Rgb);
    // A floor of brightness so quiet, band-poor passages stay visible in a dark booth.
    auto channel = [](float v) {
        return static_cast<int>(std::lround(255.0f * (0.22f + 0.78f * v)));
    };
    return IM_COL32(channel(w.red), channel(w.green), channel(w.blue), alpha);
}

// Maps seconds to a pixel coordinate along the view's time axis and back.
struct TimeAxis {
    float origin = 0;       // pixel coordinate of the axis start
    float length = 1;       // pixels along the axis
    double start = 0;       // seconds at the low pixel end (forward) or the high one (backward)
    double span = 1;        // seconds across the view
    bool increasing = true; // pixel coordinates grow with time

    float pixel(double t) const {
        const double f = (t - start) / span;
        return origin + static_cast<float>((increasing ? f : 1.0 - f) * length);
    }
    double time(float p) const {
        double f = (p - origin) / length;
        if (!increasing) f = 1.0 - f;
        return start + f * span;
    }
};

TimeAxis axisFor(Rect r, WaveAxis axis, double centre, double span) {
    TimeAxis a;
    a.origin = axis.vertical ? r.y : r.x;
    a.length = std::max(1.0f, axis.vertical ? r.h : r.w);
    a.start = centre - span / 2.0;
    a.span = span;
    a.increasing = axis.vertical ? !axis.forward : axis.forward;
    return a;
}

// A line across the view at pixel `p` along the time axis.
void crossLine(ImDrawList& d, Rect r, WaveAxis axis, float p, ImU32 colour, float thickness) {
    if (axis.vertical)
        d.AddLine(ImVec2(r.x, p), ImVec2(r.x + r.w, p), colour, thickness);
    else
        d.AddLine(ImVec2(p, r.y), ImVec2(p, r.y + r.h), colour, thickness);
}

// A span across the view between pixels a and b along the time axis.
void crossSpan(ImDrawList& d, Rect r, WaveAxis axis, float a, float b, ImU32 colour) {
    if (a > b) std::swap(a, b);
    if (axis.vertical)
        d.AddRectFilled(ImVec2(r.x, a), ImVec2(r.x + r.w, b), colour);
    else
        d.AddRectFilled(ImVec2(a, r.y), ImVec2(b, r.y + r.h), colour);
}

// A cue flag at the view's edge with a line across.
void cueMark(ImDrawList& d, Rect r, WaveAxis axis, float p, ImU32 colour, float size) {
    crossLine(d, r, axis, p, colour, 1.5f);
    if (axis.vertical)
        d.AddTriangleFilled(ImVec2(r.x, p - size), ImVec2(r.x, p + size),
                            ImVec2(r.x + size * 1.5f, p), colour);
    else
        d.AddTriangleFilled(ImVec2(p - size, r.y), ImVec2(p + size, r.y),
                            ImVec2(p, r.y + size * 1.5f), colour);
}

// Waveform bars along the axis: `sample(i)` gives the column for pixel i, or null for none.
template <typename Sample>
void drawBars(ImDrawList& d, Rect r, WaveAxis axis, int pixels, Sample sample) {
    const float across = axis.vertical ? r.w : r.h;
    const float mid = axis.vertical ? r.x + r.w / 2 : r.y + r.h / 2;
    for (int i = 0; i < pixels; ++i) {
        int alpha = 255;
        const WaveColumn* c = sample(i, alpha);
        if (!c || c->height == 0) continue;
        const float half = across * 0.5f * (static_cast<float>(c->height) / 31.0f);
        const float p = static_cast<float>(i) + (axis.vertical ? r.y : r.x);
        if (axis.vertical)
            d.AddRectFilled(ImVec2(mid - half, p), ImVec2(mid + half, p + 1.0f),
                            columnColour(*c, alpha));
        else
            d.AddRectFilled(ImVec2(p, mid - half), ImVec2(p + 1.0f, mid + half),
                            columnColour(*c, alpha));
    }
}

double niceTick(double span) {
    for (double t : {1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0, 120.0, 300.0})
        if (span / t <= 6.0) return t;
    return 600.0;
}

} // namespace

void drawDetailWaveform(ImDrawList& d, const Theme& theme, Rect r, WaveAxis axis,
                        const DeckSnapshot& deck, const DeckView& view, double span) {
    d.AddRectFilled(ImVec2(r.x, r.y), ImVec2(r.x + r.w, r.y + r.h), Theme::kWaveBack, 4.0f);
    const double rate = view.info.sampleRate > 0 ? view.info.sampleRate : 48000.0;
    const double now = deck.position / rate;
    const TimeAxis a = axisFor(r, axis, now, span);
    const int pixels = static_cast<int>(a.length);
    d.PushClipRect(ImVec2(r.x, r.y), ImVec2(r.x + r.w, r.y + r.h), true);

    const Waveform* w = view.info.waveform.get();
    if (w && !w->columns.empty() && w->columnsPerSecond > 0) {
        const auto count = static_cast<std::int64_t>(w->columns.size());
        const double perPixel = span * w->columnsPerSecond / a.length;
        drawBars(d, r, axis, pixels, [&](int i, int&) -> const WaveColumn* {
            const double t = a.time(static_cast<float>(i) + a.origin + 0.5f);
            const double centre = t * w->columnsPerSecond;
            auto first = static_cast<std::int64_t>(std::floor(centre - perPixel / 2));
            auto last = static_cast<std::int64_t>(std::floor(centre + perPixel / 2));
            first = std::max<std::int64_t>(first, 0);
            last = std::min<std::int64_t>(std::max(last, first), count - 1);
            if (first >= count || last < 0) return nullptr;
            // At wide zoom a pixel covers hundreds of columns: look at a bounded sample of them.
            const std::int64_t step = std::max<std::int64_t>(1, (last - first) / 24);
            const WaveColumn* best = &w->columns[static_cast<std::size_t>(first)];
            for (std::int64_t k = first; k <= last; k += step)
                if (w->columns[static_cast<std::size_t>(k)].height > best->height)
                    best = &w->columns[static_cast<std::size_t>(k)];
            return best;
        });
    }

    if (deck.looping && deck.loopInSeconds >= 0 && deck.loopOutSeconds > deck.loopInSeconds) {
        const float p0 = a.pixel(deck.loopInSeconds), p1 = a.pixel(deck.loopOutSeconds);
        crossSpan(d, r, axis, p0, p1, Theme::kLoop);
        crossLine(d, r, axis, p0, Theme::kLoopEdge, 2.0f);
        crossLine(d, r, axis, p1, Theme::kLoopEdge, 2.0f);
    }

    const double t0 = a.start, t1 = a.start + span;
    if (view.info.grid && !view.info.grid->beats.empty()) {
        const auto& beats = view.info.grid->beats;
        int i = std::max(0, view.info.grid->indexAt(t0));
        const double beatsShown = span * view.info.grid->bpm / 60.0;
        const bool barsOnly = beatsShown > a.length / 6.0;
        for (; i < static_cast<int>(beats.size()) && beats[i].time <= t1; ++i) {
            const bool bar = beats[i].beatInBar == 1;
            if (beats[i].time < t0 || (barsOnly && !bar)) continue;
            crossLine(d, r, axis, a.pixel(beats[i].time), bar ? Theme::kBar : Theme::kBeat,
                      bar ? 2.0f : 1.0f);
        }
    }

    const float flag = theme.px(7.0f);
    if (view.info.cues)
        for (const CueMark& c : *view.info.cues)
            if (c.kind == CueKind::Memory && c.start >= t0 && c.start <= t1)
                cueMark(d, r, axis, a.pixel(c.start), Theme::kMemoryCue, flag);
    if (deck.state != 0) {
        const double mainCue = static_cast<double>(deck.mainCue) / rate;
        if (mainCue >= t0 && mainCue <= t1)
            cueMark(d, r, axis, a.pixel(mainCue), Theme::kMainCue, flag);
    }
    for (int slot = 0; slot < 8; ++slot) {
        const double t = deck.hotCueSeconds[slot];
        if (t < 0 || t < t0 || t > t1) continue;
        const float p = a.pixel(t);
        cueMark(d, r, axis, p, Theme::hotCueColour(slot), flag);
        const char letter[2] = {static_cast<char>('A' + slot), 0};
        const ImVec2 at = axis.vertical ? ImVec2(r.x + flag * 1.8f, p - flag)
                                        : ImVec2(p + flag * 0.6f, r.y + flag * 0.4f);
        d.AddText(theme.small, theme.small->FontSize, at, Theme::hotCueColour(slot), letter);
    }

    // Time labels at round seconds along the far edge.
    const double tick = niceTick(span);
    for (double t = std::ceil(std::max(0.0, t0) / tick) * tick; t <= t1; t += tick) {
        const std::string label = DeckPanel::timeLabel(t);
        const float p = a.pixel(t);
        const ImVec2 at = axis.vertical ? ImVec2(r.x + r.w - theme.px(34), p - theme.px(7))
                                        : ImVec2(p + 3, r.y + r.h - theme.small->FontSize - 2);
        d.AddText(theme.small, theme.small->FontSize, at, Theme::kTextDim, label.c_str());
    }

    crossLine(d, r, axis, a.pixel(now), Theme::kPlayhead, 2.0f);
    d.PopClipRect();
}

const Waveform& OverviewCache::columnsFor(const std::shared_ptr<const Waveform>& waveform,
                                          std::size_t count) {
    if (waveform != source_ || count != count_) {
        source_ = waveform;
        count_ = count;
        reduced_ = waveform ? reduceWaveform(*waveform, count) : Waveform{};
    }
    return reduced_;
}

void drawOverview(ImDrawList& d, Rect r, WaveAxis axis, const DeckSnapshot& deck,
                  const DeckView& view, OverviewCache& cache) {
    d.AddRectFilled(ImVec2(r.x, r.y), ImVec2(r.x + r.w, r.y + r.h), Theme::kWaveBack, 3.0f);
    const int pixels = static_cast<int>(axis.vertical ? r.h : r.w);
    if (pixels <= 0 || deck.state == 0) return;
    const Waveform& w = cache.columnsFor(view.info.waveform, static_cast<std::size_t>(pixels));
    const double played = deck.length > 0 ? deck.position / static_cast<double>(deck.length) : 0.0;
    const auto n = static_cast<double>(w.columns.size());
    TimeAxis a = axisFor(r, axis, 0.5, 1.0); // fractions of the track
    drawBars(d, r, axis, pixels, [&](int i, int& alpha) -> const WaveColumn* {
        if (w.columns.empty()) return nullptr;
        const double f = a.time(static_cast<float>(i) + a.origin + 0.5f);
        if (f < 0 || f >= 1) return nullptr;
        alpha = f < played ? 90 : 255; // the played part is dimmed
        return &w.columns[std::min(static_cast<std::size_t>(f * n), w.columns.size() - 1)];
    });
    const double seconds = deck.length > 0 && view.info.sampleRate > 0
                               ? static_cast<double>(deck.length) / view.info.sampleRate
                               : 0.0;
    if (seconds > 0)
        for (int slot = 0; slot < 8; ++slot)
            if (deck.hotCueSeconds[slot] >= 0)
                crossLine(d, r, axis, a.pixel(deck.hotCueSeconds[slot] / seconds),
                          Theme::hotCueColour(slot), 1.0f);
    crossLine(d, r, axis, a.pixel(std::clamp(played, 0.0, 1.0)), Theme::kPlayhead, 2.0f);
}

double overviewFraction(Rect r, WaveAxis axis, float x, float y) {
    const TimeAxis a = axisFor(r, axis, 0.5, 1.0);
    return std::clamp(a.time(axis.vertical ? y : x), 0.0, 1.0);
}

} // namespace vyn
