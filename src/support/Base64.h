#pragma once
// Base64 with the standard alphabet ('+', '/') and '=' padding (RFC 4648 section 4).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vyn::base64 {

std::string encode(const void* data, std::size_t size);
inline std::string encode(std::string_view bytes) {
    return encode(bytes.data(), bytes.size());
}

struct DecodeResult {
    bool ok = false;
    std::vector<std::uint8_t> bytes;
    std::string error;
};

// Strict: the length must be a multiple of four, padding only at the end, no other characters,
// and the unused bits of the last group must be zero.
DecodeResult decode(std::string_view text);

} // namespace vyn::base64
