#pragma once
// A single-producer/single-consumer ring of float samples copied in bulk: the audio thread puts a
// whole block in or nothing at all; a worker takes out as much as it wants. Neither side blocks,
// locks or allocates once the ring is allocated.
//
// Threading: allocate() while neither side uses the ring; then exactly one thread writes and one
// (possibly other) thread reads. Samples are copied before the write index is published (release)
// and the reader loads it with acquire.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vyn {

class SampleRing {
public:
    // Room for at least `samples` (rounded up to a power of two); empties the ring.
    void allocate(std::size_t samples) {
        std::size_t capacity = 1;
        while (capacity < samples)
            capacity <<= 1;
        buffer_.assign(capacity, 0.0f);
        mask_ = capacity - 1;
        write_.value.store(0, std::memory_order_relaxed);
        read_.value.store(0, std::memory_order_relaxed);
    }
    std::size_t capacity() const noexcept { return buffer_.size(); }

    // Writer: all `count` samples, or none when they do not fit.
    bool write(const float* samples, std::size_t count) noexcept {
        const std::uint64_t w = write_.value.load(std::memory_order_relaxed);
        const std::uint64_t r = read_.value.load(std::memory_order_acquire);
        if (count > buffer_.size() - static_cast<std::size_t>(w - r)) return false;
        const std::size_t at = static_cast<std::size_t>(w) & mask_;
        const std::size_t first = std::min(count, buffer_.size() - at);
        std::memcpy(buffer_.data() + at, samples, first * sizeof(float));
        std::memcpy(buffer_.data(), samples + first, (count - first) * sizeof(float));
        write_.value.store(w + count, std::memory_order_release);
        return true;
    }

    // Reader: up to `count` samples; returns how many were copied.
    std::size_t read(float* out, std::size_t count) noexcept {
        const std::uint64_t r = read_.value.load(std::memory_order_relaxed);
        const std::uint64_t w = write_.value.load(std::memory_order_acquire);
        count = std::min(count, static_cast<std::size_t>(w - r));
        const std::size_t at = static_cast<std::size_t>(r) & mask_;
        const std::size_t first = std::min(count, buffer_.size() - at);
        std::memcpy(out, buffer_.data() + at, first * sizeof(float));
        std::memcpy(out + first, buffer_.data(), (count - first) * sizeof(float));
        read_.value.store(r + count, std::memory_order_release);
        return count;
    }

private:
    struct alignas(64) Index {
        std::atomic<std::uint64_t> value{0};
    };
    std::vector<float> buffer_;
    std::size_t mask_ = 0;
    Index write_;
    Index read_;
};

} // namespace vyn
