#include "support/Utf8.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

TEST(Utf8, ValidatesWellFormedText) {
    EXPECT_TRUE(utf8::isValid("plain"));
    EXPECT_TRUE(utf8::isValid("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5"));
    EXPECT_FALSE(utf8::isValid("\xC0\xAF"));         // overlong
    EXPECT_FALSE(utf8::isValid("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(utf8::isValid("\xF4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(utf8::isValid("\xE2\x82"));         // truncated
}

TEST(Utf8, SanitizeReplacesEachBadByte) {
    EXPECT_EQ(utf8::sanitize("a\xFF\xFE"
                             "b"),
              "a\xEF\xBF\xBD\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(utf8::sanitize("\xC3\xA9"), "\xC3\xA9");
}

TEST(Utf8, TruncateNeverSplitsACodePoint) {
    const std::string s = "ab\xE2\x82\xAC"; // a, b, euro (3 bytes)
    EXPECT_EQ(utf8::truncate(s, 4), "ab");
    EXPECT_EQ(utf8::truncate(s, 5), s);
    EXPECT_EQ(utf8::truncate(s, 2), "ab");
    EXPECT_EQ(utf8::truncate(s, 0), "");
}

TEST(Utf8, AppendEncodesAndReplacesInvalidCodePoints) {
    std::string s;
    utf8::append(s, 0x41);
    utf8::append(s, 0xE9);
    utf8::append(s, 0x1F3B5);
    utf8::append(s, 0xD800);
    EXPECT_EQ(s, "A\xC3\xA9\xF0\x9F\x8E\xB5\xEF\xBF\xBD");
}

} // namespace
} // namespace vyn
