#pragma once
// How a file with more than two channels becomes stereo: the standard matrix that puts every
// speaker on its own side (front left and right at full level, the centre on both sides at
// -3 dB, side and back speakers on their side at -3 dB, the back centre on both at -6 dB, the
// low-frequency and height channels left out), scaled down as a whole when a side would otherwise
// sum above full scale. The WAV and AIFF parsers mix with it; the FFmpeg decoder has its
// resampler build the same matrix, so a surround file sounds the same whichever decoder reads it.
//
// Threading: pure functions.

#include <cstdint>
#include <vector>

namespace vyn {

// Speaker bits, in the order a file stores its channels (the dwChannelMask of a
// WAVE_FORMAT_EXTENSIBLE header, the same bits FFmpeg's channel masks use).
namespace speaker {
constexpr std::uint32_t kFrontLeft = 0x1;
constexpr std::uint32_t kFrontRight = 0x2;
constexpr std::uint32_t kFrontCentre = 0x4;
constexpr std::uint32_t kLowFrequency = 0x8;
constexpr std::uint32_t kBackLeft = 0x10;
constexpr std::uint32_t kBackRight = 0x20;
constexpr std::uint32_t kFrontLeftOfCentre = 0x40;
constexpr std::uint32_t kFrontRightOfCentre = 0x80;
constexpr std::uint32_t kBackCentre = 0x100;
constexpr std::uint32_t kSideLeft = 0x200;
constexpr std::uint32_t kSideRight = 0x400;
} // namespace speaker

// The layout assumed for `channels` channels without a usable mask: 2.1, 4.0, 5.0, 5.1, 6.1 and
// 7.1 for three to eight channels (FFmpeg's defaults); 0 (unknown) for more.
std::uint32_t defaultSpeakerMask(std::uint32_t channels);

struct StereoDownmix {
    // Gain of each stored channel into the left and the right output.
    std::vector<float> left;
    std::vector<float> right;
};

// The mix for a file of three or more channels. `mask` describes them when it names exactly
// `channels` speakers; otherwise the default layout does. Channels of an unknown layout beyond
// the first two are left out.
StereoDownmix stereoDownmix(std::uint32_t channels, std::uint32_t mask);

} // namespace vyn
