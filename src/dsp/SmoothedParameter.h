#pragma once
// A parameter that glides towards its target sample by sample so gain and EQ changes never
// click: current = (current - target) * coefficient + target, snapped to the target within 1e-6.

namespace vyn {

struct SmoothedParameter {
    float current = 0.0f;
    float target = 0.0f;
    float coefficient = 0.0f;

    // coefficient = exp(-1 / (sampleRate * seconds)); a rate that is not above 0 counts as 48000.
    void setTime(double sampleRate, double seconds);
    void snap(float value) { current = target = value; }
    float next() {
        current = (current - target) * coefficient + target;
        if (current - target < 1e-6f && target - current < 1e-6f) current = target;
        return current;
    }
    bool settled() const { return current == target; }
};

} // namespace vyn
