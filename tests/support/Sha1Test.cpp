// SHA-1 against the FIPS 180 / RFC 3174 test vectors, and the WebSocket accept value of RFC 6455.

#include "support/Sha1.h"
#include "support/Base64.h"

#include <gtest/gtest.h>

#include <string>

namespace vyn {
namespace {

std::string hex(const Sha1::Digest& d) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (std::uint8_t b : d) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

TEST(Sha1, PublishedTestVectors) {
    EXPECT_EQ(hex(Sha1::of("")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(hex(Sha1::of("abc")), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hex(Sha1::of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(
        hex(Sha1::of("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnop"
                     "jklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu")),
        "a49b2446a02c645bf419f995b67091253a04a259");
}

TEST(Sha1, MillionAsFedInUnevenPieces) {
    // The long-message vector, fed in chunk sizes that straddle the 64-byte block boundary.
    Sha1 s;
    const std::string chunk(997, 'a');
    std::size_t fed = 0;
    while (fed < 1000000) {
        const std::size_t n = std::min<std::size_t>(chunk.size() - fed % 7, 1000000 - fed);
        s.update(chunk.data(), n);
        fed += n;
    }
    EXPECT_EQ(hex(s.finish()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha1, PaddingBoundaryLengths) {
    // 55, 56 and 64 bytes put the length field in the same or the next block.
    EXPECT_EQ(hex(Sha1::of(std::string(55, 'a'))), "c1c8bbdc22796e28c0e15163d20899b65621d65a");
    EXPECT_EQ(hex(Sha1::of(std::string(56, 'a'))), "c2db330f6083854c99d4b5bfb6e8f29f201be699");
    EXPECT_EQ(hex(Sha1::of(std::string(64, 'a'))), "0098ba824b5c16427bd7a1122a5a442a25ec644d");
}

TEST(Sha1, ResetStartsAgain) {
    Sha1 s;
    s.update("garbage");
    s.finish();
    s.reset();
    s.update("abc");
    EXPECT_EQ(hex(s.finish()), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(Sha1, WebSocketAcceptValueOfRfc6455) {
    const Sha1::Digest d = Sha1::of("dGhlIHNhbXBsZSBub25jZQ==258EAFA5-E914-47DA-95CA-C5AB0DC85B11");
    EXPECT_EQ(base64::encode(d.data(), d.size()), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
}

} // namespace
} // namespace vyn
