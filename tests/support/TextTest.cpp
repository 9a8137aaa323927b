// UTF-8 checking and repair, and the name a track is shown by.

#include "support/TrackName.h"
#include "support/Utf8.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vyn {
namespace {

TEST(Utf8, WholeTextAndStreamValidatorsAgreeAtEverySplit) {
    const std::pair<std::string, bool> cases[] = {
        {"plain", true},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xB5", true},
        {"\xC0\xAF", false},         // overlong
        {"\xE0\x9F\x80", false},     // overlong, three bytes
        {"\xF0\x8F\xBF\xBF", false}, // overlong, four bytes
        {"\xED\xA0\x80", false},     // surrogate
        {"\xED\x9F\xBF", true},      // just below the surrogates
        {"\xF4\x90\x80\x80", false}, // above U+10FFFF
        {"\xF4\x8F\xBF\xBF", true},  // U+10FFFF
        {"\xE2\x82", false},         // truncated
        {"\x80", false},
        {"\xFF", false},
    };
    for (const auto& [text, valid] : cases) {
        EXPECT_EQ(utf8::isValid(text), valid) << text;
        for (std::size_t split = 0; split <= text.size(); ++split) {
            utf8::StreamValidator v;
            v.feed(std::string_view(text).substr(0, split));
            v.feed(std::string_view(text).substr(split));
            EXPECT_EQ(v.complete(), valid) << text << " split at " << split;
        }
    }
    // A stream is refused at its first impossible byte, before it ends.
    utf8::StreamValidator v;
    EXPECT_TRUE(v.feed("ok \xCE"));
    EXPECT_FALSE(v.feed("\xBA\xE1\xBD\xB9\xCF\x83\xED\xA0"));
    EXPECT_FALSE(v.feed("a"));
}

TEST(Utf8, RepairTruncateAndAppend) {
    EXPECT_EQ(utf8::sanitize("a\xFF\xFE"
                             "b"),
              "a\xEF\xBF\xBD\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(utf8::sanitize("\xC3\xA9"), "\xC3\xA9");

    const std::string s = "ab\xE2\x82\xAC"; // a, b, euro (3 bytes)
    EXPECT_EQ(utf8::truncate(s, 4), "ab");
    EXPECT_EQ(utf8::truncate(s, 5), s);
    EXPECT_EQ(utf8::truncate(s, 2), "ab");
    EXPECT_EQ(utf8::truncate(s, 0), "");

    std::string appended;
    for (std::uint32_t c : {0x41u, 0xE9u, 0x1F3B5u, 0xD800u})
        utf8::append(appended, c);
    EXPECT_EQ(appended, "A\xC3\xA9\xF0\x9F\x8E\xB5\xEF\xBF\xBD");
}

TEST(TrackDisplayName, ArtistAndTitleElseTitleElseTheFileNameWithItsExtension) {
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"A", "B", "/x", "A - B"},
        {"", "B", "/x", "B"},
        {"A", "", "C:\\Music\\x.mp3", "x.mp3"},
        {"", "", "/home/dj/y.wav", "y.wav"},
        {"", "", "plain.flac", "plain.flac"},
        {"", "", "", "(untitled)"},
        {"", "", "/music/", "(untitled)"},
    };
    for (const auto& [artist, title, path, shown] : cases)
        EXPECT_EQ(trackDisplayName(artist, title, path), shown) << path;
}

} // namespace
} // namespace vyn
