#include "engine/BeatGrid.h"

#include <algorithm>
#include <cmath>

namespace vyn {

double beatPeriod(double bpm) {
    return 60.0 / std::clamp(bpm, 20.0, 400.0);
}

void BeatGrid::updateSummary() {
    if (beats.empty()) {
        bpm = 0.0;
        constantTempo = true;
        return;
    }
    double sum = 0.0;
    constantTempo = true;
    for (const auto& b : beats) {
        sum += b.bpm;
        if (std::fabs(b.bpm - beats.front().bpm) > 0.01) constantTempo = false;
    }
    bpm = sum / static_cast<double>(beats.size());
}

int BeatGrid::indexAt(double t) const {
    if (beats.empty() || !(t >= beats.front().time)) return -1;
    auto it = std::upper_bound(beats.begin(), beats.end(), t,
                               [](double v, const GridBeat& b) { return v < b.time; });
    return static_cast<int>(it - beats.begin()) - 1;
}

double BeatGrid::beatAt(double t) const {
    // A time that is not a number has no place on the grid (and no index to look up).
    if (beats.empty() || std::isnan(t)) return 0.0;
    const GridBeat& first = beats.front();
    if (t < first.time) return (t - first.time) / beatPeriod(first.bpm);
    const int i = indexAt(t);
    const int last = static_cast<int>(beats.size()) - 1;
    if (i >= last) return last + (t - beats[last].time) / beatPeriod(beats[last].bpm);
    const double gap = beats[i + 1].time - beats[i].time;
    if (!(gap > 0.0)) return i;
    return i + (t - beats[i].time) / gap;
}

double BeatGrid::timeAt(double b) const {
    if (beats.empty() || std::isnan(b)) return 0.0;
    const int last = static_cast<int>(beats.size()) - 1;
    if (b <= 0.0) return beats.front().time + b * beatPeriod(beats.front().bpm);
    if (b >= last) return beats[last].time + (b - last) * beatPeriod(beats[last].bpm);
    const int i = static_cast<int>(std::floor(b));
    return beats[i].time + (b - i) * (beats[i + 1].time - beats[i].time);
}

double BeatGrid::bpmAt(double t) const {
    if (beats.empty()) return 0.0;
    const int i = indexAt(t);
    return i < 0 ? beats.front().bpm : beats[i].bpm;
}

double BeatGrid::barPhase(double t) const {
    if (beats.empty()) return 0.0;
    const int i = indexAt(t);
    const int n = i < 0 ? beats.front().beatInBar : beats[i].beatInBar;
    const double b = beatAt(t);
    const double frac = b - std::floor(b);
    const int perBar = beatsPerBar > 0 ? beatsPerBar : 4;
    double r = std::fmod(frac + n - 1, static_cast<double>(perBar));
    if (r < 0) r += perBar;
    if (r >= perBar) r = 0.0;
    return r;
}

double loadCueTime(const std::vector<CueMark>& cues) {
    for (const auto& c : cues)
        if (c.kind == CueKind::LoadPoint) return c.start;
    for (const auto& c : cues)
        if (c.kind == CueKind::Memory) return c.start;
    return 0.0;
}

} // namespace vyn
