#pragma once
// OSC 1.0 encoding for the messages VYN sends: an address with one int32, one float32, or a
// string and a float32, and bundles of such messages with the "immediately" time tag. Every
// number is big-endian and every string NUL-padded to a multiple of four bytes. Fixed-size
// buffers: building never allocates.
//
// Threading: plain values.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vyn {

class OscMessage {
public:
    static constexpr std::size_t kCapacity = 512;

    // Each returns an empty message (size 0) when the result would not fit in 512 bytes.
    static OscMessage withInt(std::string_view address, std::int32_t value);
    static OscMessage withFloat(std::string_view address, float value);
    static OscMessage withStringFloat(std::string_view address, std::string_view text, float value);

    const std::uint8_t* data() const { return bytes_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

private:
    bool putString(std::string_view text);
    bool putBigEndian(std::uint32_t value);

    std::uint8_t bytes_[kCapacity] = {};
    std::size_t size_ = 0;
    bool overflow_ = false;
};

class OscBundle {
public:
    static constexpr std::size_t kCapacity = 8192;

    OscBundle();
    // Appends a size-prefixed message; false (and nothing added) when it is empty, not a multiple
    // of four bytes, or would not fit.
    bool add(const OscMessage& message);
    std::size_t count() const { return count_; }

    const std::uint8_t* data() const { return bytes_; }
    std::size_t size() const { return size_; }

private:
    std::uint8_t bytes_[kCapacity] = {};
    std::size_t size_ = 0;
    std::size_t count_ = 0;
};

} // namespace vyn
