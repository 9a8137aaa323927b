// SHA-1 and SHA-256 against the FIPS 180 / RFC 3174 vectors. The RFC 6455 accept value built on
// SHA-1 is checked with the HTTP upgrade in tests/link.

#include "support/Sha1.h"
#include "support/Sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

namespace vyn {
namespace {

template <std::size_t N> std::string hex(const std::array<std::uint8_t, N>& digest) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (std::uint8_t b : digest) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

// The long-message vector, fed in pieces of 1 to 130 bytes so that they straddle the 64-byte
// block boundary, into a hash that was used and reset first.
template <class Hash> std::string millionAsInUnevenPieces() {
    Hash h;
    h.update("garbage");
    h.finish();
    h.reset();
    const std::string chunk(130, 'a');
    std::size_t fed = 0;
    for (std::size_t piece = 1; fed < 1000000; piece = piece % 130 + 1) {
        const std::size_t n = std::min<std::size_t>(piece, 1000000 - fed);
        h.update(chunk.data(), n);
        fed += n;
    }
    return hex(h.finish());
}

const std::string kTwoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const std::string kFourBlocks = "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                                "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";

TEST(Sha1, PublishedVectorsAndPaddingBoundaries) {
    const std::pair<std::string, const char*> vectors[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {kTwoBlocks, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {kFourBlocks, "a49b2446a02c645bf419f995b67091253a04a259"},
        // 55, 56 and 64 bytes put the length field in the same or the next block.
        {std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
        {std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
        {std::string(64, 'a'), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
    };
    for (const auto& [text, digest] : vectors)
        EXPECT_EQ(hex(Sha1::of(text)), digest) << text;
    EXPECT_EQ(millionAsInUnevenPieces<Sha1>(), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha256, PublishedVectors) {
    const std::pair<std::string, const char*> vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {kTwoBlocks, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {kFourBlocks, "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    };
    for (const auto& [text, digest] : vectors)
        EXPECT_EQ(Sha256::hex(Sha256::of(text)), digest) << text;
    EXPECT_EQ(millionAsInUnevenPieces<Sha256>(),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

} // namespace
} // namespace vyn
