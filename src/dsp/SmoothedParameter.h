#pragma once
// A parameter that glides towards its target sample by sample so gain and EQ changes never
// click: current = (current - target) * coefficient + target, snapped to the target within 1e-6
// or once a step no longer moves it.

namespace vyn {

struct SmoothedParameter {
    // Time constants: gains glide over 10 ms, EQ and stem gains over 15 ms.
    static constexpr double kGainSeconds = 0.010;
    static constexpr double kEqSeconds = 0.015;

    float current = 0.0f;
    float target = 0.0f;
    float coefficient = 0.0f;

    // coefficient = exp(-1 / (sampleRate * seconds)); a rate that is not above 0 counts as 48000.
    void setTime(double sampleRate, double seconds);
    void snap(float value) { current = target = value; }
    void setTarget(float value) { target = value; }
    float next() {
        const float previous = current;
        current = (current - target) * coefficient + target;
        // In f32 a slow glide stalls a few ulps short of its target, where one step no longer
        // changes the value (about 7e-6 away for a 10 ms glide to 0.25 at 48 kHz); it snaps there
        // too, or it would never settle.
        if ((current - target <= 1e-6f && target - current <= 1e-6f) || current == previous)
            current = target;
        return current;
    }
    bool settled() const { return current == target; }
};

} // namespace vyn
