#pragma once
// Fixed-capacity single-producer/single-consumer ring. Capacity is a power of two and one slot
// always stays empty, so at most Capacity - 1 items wait. Neither side ever blocks, allocates or
// locks: the ring is safe to use from the audio thread.
//
// Threading: exactly one thread calls push(), exactly one (possibly other) thread calls pop()
// and the other consumer functions. The item is copied before the index is published (release),
// and the consumer reads the index with acquire, so the item is fully visible when popped.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vyn {

template <typename T, std::size_t Capacity> class SpscRing {
    static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");

public:
    static constexpr std::size_t kMask = Capacity - 1;

    bool push(const T& item) noexcept {
        const std::uint64_t w = write_.value.load(std::memory_order_relaxed);
        const std::uint64_t r = read_.value.load(std::memory_order_acquire);
        if (((w + 1) & kMask) == (r & kMask)) return false;
        slots_[w & kMask] = item;
        write_.value.store((w + 1) & kMask, std::memory_order_release);
        return true;
    }

    bool pop(T& out) noexcept {
        const std::uint64_t r = read_.value.load(std::memory_order_relaxed);
        const std::uint64_t w = write_.value.load(std::memory_order_acquire);
        if (r == w) return false;
        out = slots_[r & kMask];
        read_.value.store((r + 1) & kMask, std::memory_order_release);
        return true;
    }

    // Items waiting, as seen from the consumer.
    std::size_t size() const noexcept {
        const std::uint64_t w = write_.value.load(std::memory_order_acquire);
        const std::uint64_t r = read_.value.load(std::memory_order_acquire);
        return static_cast<std::size_t>((w - r) & kMask);
    }

    bool empty() const noexcept { return size() == 0; }

    static constexpr std::size_t capacity() noexcept { return Capacity - 1; }

private:
    struct alignas(64) Index {
        std::atomic<std::uint64_t> value{0};
    };
    Index write_;
    Index read_;
    std::array<T, Capacity> slots_{};
};

} // namespace vyn
