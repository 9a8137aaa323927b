#include "dsp/SmoothedParameter.h"

#include <cmath>

namespace vyn {

void SmoothedParameter::setTime(double sampleRate, double seconds) {
    const double sr = sampleRate > 0 ? sampleRate : 48000.0;
    coefficient = seconds > 0 ? static_cast<float>(std::exp(-1.0 / (sr * seconds))) : 0.0f;
}

} // namespace vyn
