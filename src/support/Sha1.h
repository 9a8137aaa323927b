#pragma once
// SHA-1 (FIPS 180-4). Used for the WebSocket handshake, where the digest is a fixed part of the
// protocol; it is not used for anything that needs collision resistance.

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
    std::uint8_t buffer_[64];
    std::size_t buffered_ = 0;
    std::uint64_t totalBytes_ = 0;
};

} // namespace vyn
