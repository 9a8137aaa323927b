#include "dsp/KeyNotation.h"
#include "dsp/KeyShift.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace vyn {
namespace {

KeyCode key(int pitch, std::uint8_t mode) {
    return {static_cast<std::uint8_t>(pitch), mode};
}
const KeyCode kNone{};

TEST(KeyNotation, ParsesWheelAndNoteNamesAndRejectsEverythingElse) {
    struct Case {
        const char* text;
        KeyCode key;
    };
    const Case cases[] = {
        {"8A", key(9, kMinorMode)},       {"1A", key(8, kMinorMode)},
        {"5A", key(0, kMinorMode)},       {"8B", key(0, kMajorMode)},
        {"12B", key(4, kMajorMode)},      {"10a", key(11, kMinorMode)},
        {"  11b \t", key(9, kMajorMode)}, {"F#m", key(6, kMinorMode)},
        {"Bb", key(10, kMajorMode)},      {"BB", key(10, kMajorMode)},
        {"E minor", key(4, kMinorMode)},  {"E MINOR", key(4, kMinorMode)},
        {"Dbmaj", key(1, kMajorMode)},    {"D major", key(2, kMajorMode)},
        {"A min", key(9, kMinorMode)},    {"aM", key(9, kMinorMode)},
        {"c", key(0, kMajorMode)},        {"Cb", key(11, kMajorMode)},
        {"B#m", key(0, kMinorMode)},      {" G  ", key(7, kMajorMode)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseKeyNotation(c.text), c.key) << c.text;
    for (const char* text : {"0A", "13A", "8C", "4C", "8", "8AB", "8 A", "08A", "100A", "8A x", "H",
                             "", "   ", "Amx", "E mInor", "A#b", "C##", "Am7", "Cmajorx"})
        EXPECT_EQ(parseKeyNotation(text), kNone) << text;
}

TEST(KeyValues, CodesPackPitchClassAndModeAndShiftsRoundHalfAwayFromZeroAndClamp) {
    EXPECT_EQ(key(9, kMinorMode).value(), 0x0109);
    EXPECT_EQ(KeyCode::fromValue(key(4, kMajorMode).value()), key(4, kMajorMode));
    EXPECT_FALSE(KeyCode::fromValue(255).known());
    for (const auto& [value, shift] :
         {std::pair(7.0, 6), {-6.5, -6}, {2.5, 3}, {-2.5, -3}, {0.49, 0}, {1e300, 6}})
        EXPECT_EQ(keyShiftFromValue(value), shift) << value;
}

// Wheel position of a key, worked out from the wheel notation itself.
int wheelNumber(KeyCode k) {
    for (int n = 1; n <= 12; ++n) {
        const std::string text = std::to_string(n) + (k.minor() ? "A" : "B");
        if (parseKeyNotation(text) == k) return n;
    }
    return -1;
}

TEST(KeySyncChoice, AlwaysLandsOnANeighbourOnTheWheelWithTheSmallestShiftAndNeedsBothKeys) {
    EXPECT_FALSE(chooseKeySyncShift(kNone, key(0, kMajorMode), 0).has_value());
    EXPECT_FALSE(chooseKeySyncShift(key(0, kMajorMode), kNone, 0).has_value());
    EXPECT_FALSE(chooseKeySyncShift(key(12, kMajorMode), key(0, kMajorMode), 0).has_value());
    // Compatible keys sit at the same wheel number (either letter) or one step away. The
    // choice must reach one with the smallest shift, upwards on a tie.
    auto compatible = [](KeyCode a, KeyCode b) {
        const int d = ((wheelNumber(a) - wheelNumber(b)) % 12 + 12) % 12;
        return d == 0 || d == 1 || d == 11;
    };
    for (int dp = 0; dp < 12; ++dp)
        for (std::uint8_t dm : {kMajorMode, kMinorMode})
            for (int mp = 0; mp < 12; ++mp)
                for (std::uint8_t mm : {kMajorMode, kMinorMode})
                    for (int ms = -6; ms <= 6; ms += 3) {
                        const KeyCode sounding = key((mp + ms + 12) % 12, mm);
                        const auto s = chooseKeySyncShift(key(dp, dm), key(mp, mm), ms);
                        ASSERT_TRUE(s.has_value());
                        ASSERT_LE(std::abs(*s), 2);
                        const KeyCode shifted = key((dp + *s + 12) % 12, dm);
                        EXPECT_TRUE(compatible(shifted, sounding))
                            << dp << "/" << int(dm) << " vs " << mp << "/" << int(mm) << "+" << ms;
                        for (int t : {0, 1, -1, 2, -2}) {
                            if (t == *s) break;
                            EXPECT_FALSE(compatible(key((dp + t + 12) % 12, dm), sounding));
                        }
                    }
}

} // namespace
} // namespace vyn
