#pragma once
// SHA-256 (FIPS 180-4): names stem cache files after their key and checks model files against
// their published digest.

#include "support/DigestBlocks.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vyn {

class Sha256 {
public:
    using Digest = std::array<std::uint8_t, 32>;

    Sha256();
    void update(const void* data, std::size_t size);
    void update(std::string_view text) { update(text.data(), text.size()); }
    // Pads and returns the digest; the object must be reset() before it is used again.
    Digest finish();
    void reset();

    static Digest of(std::string_view text);
    // 64 lowercase hexadecimal digits.
    static std::string hex(const Digest& digest);

private:
    void block(const std::uint8_t* p);

    std::uint32_t h_[8];
    detail::DigestBlocks input_;
};

} // namespace vyn
