// SHA-256 against the FIPS 180-4 example vectors.

#include "support/Sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace vyn {
namespace {

TEST(Sha256, PublishedTestVectors) {
    struct Case {
        std::string text;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmn"
         "opqrlmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Sha256::hex(Sha256::of(c.text)), c.digest) << c.text;
}

TEST(Sha256, MillionAsFedInUnevenPieces) {
    Sha256 s;
    const std::string chunk(997, 'a');
    std::size_t fed = 0;
    for (std::size_t piece = 1; fed < 1000000; piece = piece % 130 + 1) {
        const std::size_t n = std::min<std::size_t>(piece, 1000000 - fed);
        s.update(chunk.data(), n);
        fed += n;
    }
    EXPECT_EQ(Sha256::hex(s.finish()),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

} // namespace
} // namespace vyn
