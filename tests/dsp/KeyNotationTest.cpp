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

TEST(KeyNotation, WheelNotation) {
    EXPECT_EQ(parseKeyNotation("8A"), key(9, kMinorMode));
    EXPECT_EQ(parseKeyNotation("1A"), key(8, kMinorMode));
    EXPECT_EQ(parseKeyNotation("5A"), key(0, kMinorMode));
    EXPECT_EQ(parseKeyNotation("8B"), key(0, kMajorMode));
    EXPECT_EQ(parseKeyNotation("12B"), key(4, kMajorMode));
    EXPECT_EQ(parseKeyNotation("10a"), key(parseKeyNotation("10A").pitchClass, kMinorMode));
    EXPECT_EQ(parseKeyNotation("  11b \t"), key(9, kMajorMode));
}

TEST(KeyNotation, WheelRejectsWhatIsNotOnTheWheel) {
    for (const char* text : {"0A", "13A", "8C", "4C", "8", "8AB", "8 A", "08A", "100A", "8A x"})
        EXPECT_EQ(parseKeyNotation(text), kNone) << text;
}

TEST(KeyNotation, NoteNames) {
    EXPECT_EQ(parseKeyNotation("F#m"), key(6, kMinorMode));
    EXPECT_EQ(parseKeyNotation("Bb"), key(10, kMajorMode));
    EXPECT_EQ(parseKeyNotation("BB"), key(10, kMajorMode));
    EXPECT_EQ(parseKeyNotation("E minor"), key(4, kMinorMode));
    EXPECT_EQ(parseKeyNotation("E MINOR"), key(4, kMinorMode));
    EXPECT_EQ(parseKeyNotation("Dbmaj"), key(1, kMajorMode));
    EXPECT_EQ(parseKeyNotation("D major"), key(2, kMajorMode));
    EXPECT_EQ(parseKeyNotation("Am"), key(9, kMinorMode));
    EXPECT_EQ(parseKeyNotation("A min"), key(9, kMinorMode));
    EXPECT_EQ(parseKeyNotation("aM"), key(9, kMinorMode));
    EXPECT_EQ(parseKeyNotation("c"), key(0, kMajorMode));
    EXPECT_EQ(parseKeyNotation("Cb"), key(11, kMajorMode));
    EXPECT_EQ(parseKeyNotation("B#m"), key(0, kMinorMode));
    EXPECT_EQ(parseKeyNotation(" G  "), key(7, kMajorMode));
}

TEST(KeyNotation, NoteNamesRejectTrailingText) {
    for (const char* text : {"H", "", "   ", "Amx", "E mInor", "A#b", "C##", "Am7", "Cmajorx"})
        EXPECT_EQ(parseKeyNotation(text), kNone) << text;
}

TEST(KeyCode, PacksPitchClassAndMode) {
    EXPECT_EQ(key(9, kMinorMode).value(), 0x0109);
    EXPECT_EQ(key(4, kMajorMode).value(), 4);
    EXPECT_EQ(kNone.value(), 255);
    EXPECT_EQ(KeyCode::fromValue(0x0109), key(9, kMinorMode));
    EXPECT_FALSE(KeyCode::fromValue(255).known());
}

TEST(KeyShiftValue, RoundsHalfAwayFromZeroAndClamps) {
    EXPECT_EQ(keyShiftFromValue(7.0), 6);
    EXPECT_EQ(keyShiftFromValue(-6.5), -6);
    EXPECT_EQ(keyShiftFromValue(2.5), 3);
    EXPECT_EQ(keyShiftFromValue(-2.5), -3);
    EXPECT_EQ(keyShiftFromValue(0.49), 0);
    EXPECT_EQ(keyShiftFromValue(1e300), 6);
    EXPECT_EQ(pitchFactor(0), 1.0);
    EXPECT_DOUBLE_EQ(pitchFactor(12), 2.0);
    EXPECT_DOUBLE_EQ(pitchFactor(-3), std::pow(2.0, -0.25));
}

TEST(KeySyncChoice, ExamplesFromTheCircleOfFifths) {
    // A minor against C major: A is C's relative minor.
    EXPECT_EQ(chooseKeySyncShift(key(9, kMinorMode), key(0, kMajorMode), 0), 0);
    // D major against E major shifted up to F: F, C and B flat are accepted; D-2 = C.
    EXPECT_EQ(chooseKeySyncShift(key(2, kMajorMode), key(4, kMajorMode), 1), -2);
    // B major against C major: +1 and -1 are both a semitone; only +1 fits.
    EXPECT_EQ(chooseKeySyncShift(key(11, kMajorMode), key(0, kMajorMode), 0), 1);
    // The master's shift wraps round the octave.
    EXPECT_EQ(chooseKeySyncShift(key(0, kMajorMode), key(11, kMajorMode), 1), 0);
}

TEST(KeySyncChoice, FailsForUnknownKeys) {
    EXPECT_FALSE(chooseKeySyncShift(kNone, key(0, kMajorMode), 0).has_value());
    EXPECT_FALSE(chooseKeySyncShift(key(0, kMajorMode), kNone, 0).has_value());
    EXPECT_FALSE(chooseKeySyncShift(key(12, kMajorMode), key(0, kMajorMode), 0).has_value());
}

// Wheel position of a key, worked out from the wheel notation itself.
int wheelNumber(KeyCode k) {
    for (int n = 1; n <= 12; ++n) {
        const std::string text = std::to_string(n) + (k.minor() ? "A" : "B");
        if (parseKeyNotation(text) == k) return n;
    }
    return -1;
}

TEST(KeySyncChoice, AlwaysLandsOnANeighbourOnTheWheelWithTheSmallestShift) {
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
