#pragma once
// SHA-1 (FIPS 180-4). Used for the WebSocket handshake, where the digest is a fixed part of the
// protocol; it is not used for anything that needs collision resistance.

#include "support/DigestBlocks.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vyn {

class Sha1 {
public:
    using Digest = std::array<std::uint8_t, 20>;

    Sha1();
    void update(const void* data, std::size_t size);
    void update(std::string_view text) { update(text.data(), text.size()); }
    // Pads and returns the digest; the object must be reset() before it is used again.
    Digest finish();
    void reset();

    static Digest of(std::string_view text);

private:
    void block(const std::uint8_t* p);

    std::uint32_t h_[5];
    detail::DigestBlocks input_;
};

} // namespace vyn
