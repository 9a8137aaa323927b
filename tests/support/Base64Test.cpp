// Base64 against the RFC 4648 section 10 test vectors, and the strict decoder's refusals.

#include "support/Base64.h"

#include <gtest/gtest.h>

#include <string>

namespace vyn {
namespace {

std::string decoded(const std::string& text) {
    const base64::DecodeResult r = base64::decode(text);
    EXPECT_TRUE(r.ok) << text << ": " << r.error;
    return std::string(r.bytes.begin(), r.bytes.end());
}

TEST(Base64, Rfc4648VectorsBothWays) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, coded] : vectors) {
        EXPECT_EQ(base64::encode(plain), coded) << plain;
        EXPECT_EQ(decoded(coded), plain) << coded;
    }
    // Every byte value round-trips, through the high alphabet characters too.
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    const std::string coded = base64::encode(all);
    EXPECT_NE(coded.find('+'), std::string::npos);
    EXPECT_NE(coded.find('/'), std::string::npos);
    EXPECT_EQ(decoded(coded), all);
    EXPECT_EQ(base64::encode("\xfb\xff"), "+/8=");
}

TEST(Base64, MalformedTextIsRefused) {
    for (const char* bad :
         {"Zg=", "Zg", "Z===", "=Zg=", "Zg==Zg==", "Zm9v!A==", "Zh==", "Zm9=", "Zg=A"}) {
        const base64::DecodeResult r = base64::decode(bad);
        EXPECT_FALSE(r.ok) << bad;
        EXPECT_FALSE(r.error.empty()) << bad;
    }
}

} // namespace
} // namespace vyn
