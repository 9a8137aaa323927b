#pragma once
// A listener on the master bus: the engine host hands it every rendered block of the stereo
// master, after the master gain and limiter, with the engine frame the block starts at.
//
// Threading: onMasterBlock runs on the audio thread and must never lock, allocate, free or wait.

#include <cstdint>

namespace vyn {

class MasterTap {
public:
    virtual ~MasterTap() = default;
    virtual void onMasterBlock(const float* stereo, int frames,
                               std::uint64_t engineFrame) noexcept = 0;
};

} // namespace vyn
