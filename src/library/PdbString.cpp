#include "library/PdbString.h"

#include "support/ByteOrder.h"
#include "support/Utf8.h"

#include <cstdint>

namespace vyn {
namespace {

std::string latin1(const unsigned char* p, std::size_t n) {
    std::string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] < 0x80)
            out += static_cast<char>(p[i]);
        else
            utf8::append(out, p[i]);
    }
    return out;
}

std::string utf16le(const unsigned char* p, std::size_t n) {
    std::string out;
    out.reserve(n);
    const std::size_t units = n / 2; // an odd last byte is not part of any unit
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t u = detail::readU16le(p + 2 * i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const std::uint32_t low = detail::readU16le(p + 2 * (i + 1));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                utf8::append(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        utf8::append(out, u); // a lone surrogate becomes U+FFFD here
    }
    return out;
}

} // namespace

std::string readPdbString(const unsigned char* page, std::size_t pageSize, std::size_t position) {
    if (!page || position >= pageSize) return {};
    const unsigned char kind = page[position];
    const std::size_t room = pageSize - position;
    if (kind & 1) {
        const std::size_t total = kind >> 1;
        if (total < 1 || total > room) return {};
        return latin1(page + position + 1, total - 1);
    }
    if (kind != 0x40 && kind != 0x90) return {};
    if (room < 4) return {};
    const std::size_t total = detail::readU16le(page + position + 1);
    if (total < 4 || total > room) return {};
    const unsigned char* text = page + position + 4;
    return kind == 0x40 ? latin1(text, total - 4) : utf16le(text, total - 4);
}

} // namespace vyn
