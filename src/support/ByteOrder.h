#pragma once
// Reading fixed-width integers of either byte order from unaligned bytes (container headers).

#include <cstdint>

namespace vyn::detail {

inline std::uint16_t readU16le(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t readU32le(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t readU64le(const unsigned char* p) {
    return static_cast<std::uint64_t>(readU32le(p)) |
           (static_cast<std::uint64_t>(readU32le(p + 4)) << 32);
}
inline std::uint16_t readU16be(const unsigned char* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t readU32be(const unsigned char* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}
inline std::uint64_t readU64be(const unsigned char* p) {
    return (static_cast<std::uint64_t>(readU32be(p)) << 32) | readU32be(p + 4);
}

} // namespace vyn::detail
