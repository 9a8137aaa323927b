#include "support/Base64.h"

namespace vyn::base64 {
namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

DecodeResult failure(const char* text) {
    DecodeResult r;
    r.error = text;
    return r;
}

} // namespace

std::string encode(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t v =
            (std::uint32_t(p[i]) << 16) | (std::uint32_t(p[i + 1]) << 8) | p[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const std::size_t rest = size - i;
    if (rest == 1) {
        const std::uint32_t v = std::uint32_t(p[i]) << 16;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        const std::uint32_t v = (std::uint32_t(p[i]) << 16) | (std::uint32_t(p[i + 1]) << 8);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

DecodeResult decode(std::string_view text) {
    if (text.size() % 4 != 0) return failure("base64 text length is not a multiple of four");
    DecodeResult r;
    r.bytes.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int v[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = text[i + static_cast<std::size_t>(k)];
            if (c == '=') {
                if (!last || k < 2) return failure("base64 padding in the wrong place");
                v[k] = 0;
                ++padding;
                continue;
            }
            if (padding > 0) return failure("base64 padding in the wrong place");
            v[k] = valueOf(c);
            if (v[k] < 0) return failure("character outside the base64 alphabet");
        }
        const std::uint32_t group = (std::uint32_t(v[0]) << 18) | (std::uint32_t(v[1]) << 12) |
                                    (std::uint32_t(v[2]) << 6) | std::uint32_t(v[3]);
        if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0))
            return failure("base64 text has stray bits after the last byte");
        r.bytes.push_back(static_cast<std::uint8_t>(group >> 16));
        if (padding < 2) r.bytes.push_back(static_cast<std::uint8_t>(group >> 8));
        if (padding < 1) r.bytes.push_back(static_cast<std::uint8_t>(group));
    }
    r.ok = true;
    return r;
}

} // namespace vyn::base64
