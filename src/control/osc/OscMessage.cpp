#include "control/osc/OscMessage.h"

#include <cstring>

namespace vyn {

namespace {

std::size_t padded(std::size_t length) {
    return (length + 4) & ~std::size_t{3}; // at least one NUL
}

void writeBigEndian(std::uint8_t* at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

std::uint32_t floatBits(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

} // namespace

bool OscMessage::putString(std::string_view text) {
    const std::size_t total = padded(text.size());
    if (overflow_ || size_ + total > kCapacity) {
        overflow_ = true;
        return false;
    }
    std::memcpy(bytes_ + size_, text.data(), text.size());
    std::memset(bytes_ + size_ + text.size(), 0, total - text.size());
    size_ += total;
    return true;
}

bool OscMessage::putBigEndian(std::uint32_t value) {
    if (overflow_ || size_ + 4 > kCapacity) {
        overflow_ = true;
        return false;
    }
    writeBigEndian(bytes_ + size_, value);
    size_ += 4;
    return true;
}

OscMessage OscMessage::withInt(std::string_view address, std::int32_t value) {
    OscMessage m;
    m.putString(address);
    m.putString(",i");
    m.putBigEndian(static_cast<std::uint32_t>(value));
    if (m.overflow_) m.size_ = 0;
    return m;
}

OscMessage OscMessage::withFloat(std::string_view address, float value) {
    OscMessage m;
    m.putString(address);
    m.putString(",f");
    m.putBigEndian(floatBits(value));
    if (m.overflow_) m.size_ = 0;
    return m;
}

OscMessage OscMessage::withStringFloat(std::string_view address, std::string_view text,
                                       float value) {
    OscMessage m;
    m.putString(address);
    m.putString(",sf");
    m.putString(text);
    m.putBigEndian(floatBits(value));
    if (m.overflow_) m.size_ = 0;
    return m;
}

OscBundle::OscBundle() {
    static constexpr std::uint8_t kHead[16] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', 0,
                                               0,   0,   0,   0,   0,   0,   0,   1};
    std::memcpy(bytes_, kHead, sizeof kHead);
    size_ = sizeof kHead;
}

bool OscBundle::add(const OscMessage& message) {
    const std::size_t n = message.size();
    if (n == 0 || n % 4 != 0 || size_ + 4 + n > kCapacity) return false;
    writeBigEndian(bytes_ + size_, static_cast<std::uint32_t>(n));
    std::memcpy(bytes_ + size_ + 4, message.data(), n);
    size_ += 4 + n;
    ++count_;
    return true;
}

} // namespace vyn
