#include "support/TrackName.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

TEST(TrackDisplayName, ArtistAndTitleElseTitleElseTheFileNameWithItsExtension) {
    struct Case {
        const char *artist, *title, *path, *shown;
    };
    const Case cases[] = {
        {"A", "B", "/x", "A - B"},
        {"", "B", "/x", "B"},
        {"A", "", "C:\\Music\\x.mp3", "x.mp3"},
        {"", "", "/home/dj/y.wav", "y.wav"},
        {"", "", "plain.flac", "plain.flac"},
        {"", "", "", "(untitled)"},
        {"", "", "/music/", "(untitled)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(trackDisplayName(c.artist, c.title, c.path), c.shown) << c.path;
}

} // namespace
} // namespace vyn
