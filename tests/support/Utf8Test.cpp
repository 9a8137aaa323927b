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

TEST(Utf8, StreamValidatorAgreesWithWholeTextAtEverySplit) {
    for (const std::string text :
         {"plain", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5", "\xC0\xAF", "\xED\xA0\x80",
          "\xED\x9F\xBF", "\xF4\x90\x80\x80", "\xF4\x8F\xBF\xBF", "\xE0\x9F\x80",
          "\xF0\x8F\xBF\xBF", "\xE2\x82", "\x80", "\xFF"}) {
        for (std::size_t split = 0; split <= text.size(); ++split) {
            utf8::StreamValidator v;
            v.feed(std::string_view(text).substr(0, split));
            v.feed(std::string_view(text).substr(split));
            EXPECT_EQ(v.complete(), utf8::isValid(text)) << text << " split at " << split;
        }
    }
    // A stream is refused at its first impossible byte, before it ends.
    utf8::StreamValidator v;
    EXPECT_TRUE(v.feed("ok \xCE"));
    EXPECT_FALSE(v.feed("\xBA\xE1\xBD\xB9\xCF\x83\xED\xA0"));
    EXPECT_FALSE(v.feed("a"));
}

} // namespace
} // namespace vyn
