#pragma once
// A sequence-locked slot that one writer (the audio thread) publishes into and any number of
// readers copy out of without locking. The payload is stored as atomic words: the writer marks
// the slot odd, stores every word with release, then marks it even; a reader loads every word
// with acquire between two reads of the sequence. A reader that saw any word of a newer publish
// therefore also sees the newer sequence and discards its torn copy. Every access is atomic, so
// a race is well-defined in the C++ memory model (and clean under ThreadSanitizer), and on x86
// the release stores and acquire loads are plain moves.

#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace vyn {

template <typename T> class SnapshotSlot {
    static_assert(std::is_trivially_copyable_v<T>);
    static constexpr std::size_t kWords = (sizeof(T) + 7) / 8;

public:
    // Writer only.
    void publish(const T& value) noexcept {
        std::uint64_t words[kWords] = {};
        std::memcpy(words, &value, sizeof(T));
        const std::uint32_t s = sequence_.load(std::memory_order_relaxed);
        sequence_.store(s + 1, std::memory_order_relaxed);
        for (std::size_t i = 0; i < kWords; ++i)
            words_[i].store(words[i], std::memory_order_release);
        sequence_.store(s + 2, std::memory_order_release);
    }

    // Any thread. Returns false after `attempts` tries that all raced a publish.
    bool read(T& out, int attempts = 16) const noexcept {
        std::uint64_t words[kWords];
        for (int attempt = 0; attempt < attempts; ++attempt) {
            const std::uint32_t before = sequence_.load(std::memory_order_acquire);
            if (before & 1u) continue;
            for (std::size_t i = 0; i < kWords; ++i)
                words[i] = words_[i].load(std::memory_order_acquire);
            if (sequence_.load(std::memory_order_relaxed) == before) {
                std::memcpy(&out, words, sizeof(T));
                return true;
            }
        }
        return false;
    }

    std::uint32_t sequence() const noexcept { return sequence_.load(std::memory_order_acquire); }

private:
    alignas(64) std::atomic<std::uint32_t> sequence_{0};
    alignas(64) std::atomic<std::uint64_t> words_[kWords] = {};
};

} // namespace vyn
