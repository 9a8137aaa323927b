#pragma once
// The input framing SHA-1 and SHA-256 share: bytes cut into 64-byte blocks for the compression
// function, and the final padding (0x80, zeros, the message length in bits, big-endian).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vyn::detail {

class DigestBlocks {
public:
    void reset() {
        buffered_ = 0;
        totalBytes_ = 0;
    }

    // Calls compress(const std::uint8_t* block) for every whole block the input completes.
    template <class Compress> void update(const void* data, std::size_t size, Compress&& compress) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        totalBytes_ += size;
        if (buffered_ > 0) {
            const std::size_t take = std::min(size, sizeof buffer_ - buffered_);
            std::memcpy(buffer_ + buffered_, p, take);
            buffered_ += take;
            p += take;
            size -= take;
            if (buffered_ < sizeof buffer_) return;
            compress(static_cast<const std::uint8_t*>(buffer_));
            buffered_ = 0;
        }
        for (; size >= 64; p += 64, size -= 64)
            compress(p);
        if (size > 0) std::memcpy(buffer_, p, size);
        buffered_ = size;
    }

    template <class Compress> void pad(Compress&& compress) {
        const std::uint64_t bits = totalBytes_ * 8u;
        const std::uint8_t one = 0x80;
        update(&one, 1, compress);
        const std::uint8_t zero = 0;
        while (buffered_ != 56)
            update(&zero, 1, compress);
        std::uint8_t length[8];
        for (int i = 0; i < 8; ++i)
            length[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
        update(length, 8, compress);
    }

private:
    std::uint8_t buffer_[64];
    std::size_t buffered_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// The state words, big-endian, as the digest's bytes.
template <std::size_t Words, class Digest>
void writeDigestWords(const std::uint32_t (&h)[Words], Digest& out) {
    for (std::size_t i = 0; i < Words; ++i)
        for (std::size_t j = 0; j < 4; ++j)
            out[4 * i + j] = static_cast<std::uint8_t>(h[i] >> (24 - 8 * j));
}

} // namespace vyn::detail
