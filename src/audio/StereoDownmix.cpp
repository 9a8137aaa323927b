#include "audio/StereoDownmix.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace vyn {

std::uint32_t defaultSpeakerMask(std::uint32_t channels) {
    using namespace speaker;
    constexpr std::uint32_t kFront = kFrontLeft | kFrontRight;
    switch (channels) {
    case 3:
        return kFront | kLowFrequency;
    case 4:
        return kFront | kFrontCentre | kBackCentre;
    case 5:
        return kFront | kFrontCentre | kBackLeft | kBackRight;
    case 6:
        return kFront | kFrontCentre | kLowFrequency | kBackLeft | kBackRight;
    case 7:
        return kFront | kFrontCentre | kLowFrequency | kBackCentre | kSideLeft | kSideRight;
    case 8:
        return kFront | kFrontCentre | kLowFrequency | kBackLeft | kBackRight | kSideLeft |
               kSideRight;
    default:
        return 0;
    }
}

StereoDownmix stereoDownmix(std::uint32_t channels, std::uint32_t mask) {
    using namespace speaker;
    constexpr float kMinus3dB = 0.70710678f;
    StereoDownmix mix;
    mix.left.assign(channels, 0.0f);
    mix.right.assign(channels, 0.0f);
    if (std::popcount(mask) != static_cast<int>(channels)) mask = defaultSpeakerMask(channels);
    if (mask == 0) {
        // Nothing says where the speakers are: the first two channels are left and right.
        if (channels > 0) mix.left[0] = 1.0f;
        if (channels > 1) mix.right[1] = 1.0f;
        return mix;
    }
    std::uint32_t c = 0;
    for (std::uint32_t bit = 1; bit != 0 && c < channels; bit <<= 1) {
        if (!(mask & bit)) continue;
        float l = 0.0f, r = 0.0f;
        switch (bit) {
        case kFrontLeft:
        case kFrontLeftOfCentre:
            l = 1.0f;
            break;
        case kFrontRight:
        case kFrontRightOfCentre:
            r = 1.0f;
            break;
        case kFrontCentre:
            l = r = kMinus3dB;
            break;
        case kBackLeft:
        case kSideLeft:
            l = kMinus3dB;
            break;
        case kBackRight:
        case kSideRight:
            r = kMinus3dB;
            break;
        case kBackCentre:
            l = r = 0.5f;
            break;
        default:
            break; // low frequency and height speakers stay out of a stereo mix
        }
        mix.left[c] = l;
        mix.right[c] = r;
        ++c;
    }
    // Scaled as a whole, so the balance between the speakers stays and no side can clip.
    float sumLeft = 0.0f, sumRight = 0.0f;
    for (std::uint32_t i = 0; i < channels; ++i) {
        sumLeft += mix.left[i];
        sumRight += mix.right[i];
    }
    const float loudest = std::max(sumLeft, sumRight);
    if (loudest > 1.0f)
        for (std::uint32_t i = 0; i < channels; ++i) {
            mix.left[i] /= loudest;
            mix.right[i] /= loudest;
        }
    return mix;
}

} // namespace vyn
