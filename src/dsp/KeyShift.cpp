#include "dsp/KeyShift.h"

#include <algorithm>
#include <cmath>

namespace vyn {
namespace {

int mod12(int v) {
    return ((v % 12) + 12) % 12;
}

} // namespace

int keyShiftFromValue(double value) {
    // Clamping before rounding keeps huge values away from lround's undefined range.
    const long s = std::lround(std::clamp(value, -100.0, 100.0));
    return static_cast<int>(std::clamp<long>(s, -kMaxKeyShift, kMaxKeyShift));
}

double pitchFactor(int semitones) {
    return semitones == 0 ? 1.0 : std::pow(2.0, semitones / 12.0);
}

std::optional<int> chooseKeySyncShift(KeyCode deck, KeyCode master, int masterShift) {
    if (!deck.known() || !master.known()) return std::nullopt;
    const int t = mod12(master.pitchClass + masterShift);
    int accepted[3];
    if (deck.minor() == master.minor()) {
        accepted[0] = t;
        accepted[1] = t + 7;
        accepted[2] = t + 5;
    } else if (master.minor()) {
        accepted[0] = t + 3; // relative major
        accepted[1] = t + 10;
        accepted[2] = t + 8;
    } else {
        accepted[0] = t - 3; // relative minor
        accepted[1] = t + 4;
        accepted[2] = t + 2;
    }
    static constexpr int kOrder[5] = {0, 1, -1, 2, -2};
    for (int s : kOrder) {
        const int root = mod12(deck.pitchClass + s);
        for (int a : accepted)
            if (mod12(a) == root) return s;
    }
    return std::nullopt;
}

} // namespace vyn
