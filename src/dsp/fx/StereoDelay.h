#pragma once
// A circular buffer of interleaved stereo frames with fractional reads behind the write index,
// interpolating linearly towards the older frame. Sized once (allocate, off the audio thread);
// clear() only touches memory that has been written since the last clear, so resetting an
// unused six-second line costs nothing on the audio thread.

#include <cstring>
#include <vector>

namespace vyn::fx {

class StereoDelay {
public:
    void allocate(int frames) {
        size_ = frames > 2 ? frames : 2;
        data_.assign(2 * static_cast<std::size_t>(size_), 0.0f);
        write_ = 0;
        dirty_ = false;
    }
    void clear() noexcept {
        if (dirty_) std::memset(data_.data(), 0, data_.size() * sizeof(float));
        write_ = 0;
        dirty_ = false;
    }
    int size() const noexcept { return size_; }
    // Whole frames `d` (1..size-1) and fraction `frac` behind the write index.
    float read(int d, float frac, int ch) const noexcept {
        int r = write_ - d;
        if (r < 0) r += size_;
        int older = r - 1;
        if (older < 0) older += size_;
        const float a = data_[2 * r + ch];
        return a + (data_[2 * older + ch] - a) * frac;
    }
    // `delay` must already be clamped to [1, size-1].
    float read(double delay, int ch) const noexcept {
        const int d = static_cast<int>(delay);
        return read(d, static_cast<float>(delay - d), ch);
    }
    void write(float left, float right) noexcept {
        data_[2 * write_] = left;
        data_[2 * write_ + 1] = right;
        dirty_ = true;
    }
    void advance() noexcept {
        if (++write_ == size_) write_ = 0;
    }

private:
    std::vector<float> data_;
    int size_ = 0;
    int write_ = 0;
    bool dirty_ = false;
};

} // namespace vyn::fx
