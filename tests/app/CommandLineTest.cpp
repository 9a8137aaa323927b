#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace vyn {
namespace {

CommandLine parse(std::vector<const char*> args) {
    args.insert(args.begin(), "vyn");
    return parseCommandLine(static_cast<int>(args.size()), args.data());
}

using O = CommandLine::Outcome;

TEST(CommandLineParse, ChoosesWindowOrHostByTheLastModeOption) {
    EXPECT_EQ(parse({}).outcome, O::Window);
    EXPECT_EQ(parse({"--gui"}).outcome, O::Window);
    EXPECT_EQ(parse({"--file", "x", "--gui"}).outcome, O::Window);
    const CommandLine host = parse({"--gui", "--file", "x"});
    EXPECT_EQ(host.outcome, O::Host);
    EXPECT_EQ(host.path, "x");
    EXPECT_EQ(host.deck, 0);
    EXPECT_EQ(parse({"--probe"}).outcome, O::Host);
    EXPECT_TRUE(parse({"--probe"}).probe);
}

TEST(CommandLineParse, DeckMustBeOneToSixteen) {
    EXPECT_EQ(parse({"--file", "x", "--deck", "16"}).deck, 15);
    EXPECT_EQ(parse({"--file", "x", "--deck", "16"}).outcome, O::Host);
    EXPECT_EQ(parse({"--deck", "3", "--file", "x"}).deck, 2);
    for (const char* bad : {"0", "17", "abc", "-3"})
        EXPECT_EQ(parse({"--file", "x", "--deck", bad}).outcome, O::Usage) << bad;
    EXPECT_EQ(parse({"--deck", "3"}).outcome, O::Usage);
}

TEST(CommandLineParse, NeedsExactlyOneOfPathAndProbe) {
    EXPECT_EQ(parse({"--file", "a.wav", "--probe"}).outcome, O::Usage);
    EXPECT_EQ(parse({"--deck", "2", "--deck", "4"}).outcome, O::Usage);
}

TEST(CommandLineParse, RejectsUnknownAndIncompleteArguments) {
    EXPECT_EQ(parse({"--file"}).outcome, O::Usage);
    EXPECT_EQ(parse({"--file", "x", "--deck"}).outcome, O::Usage);
    EXPECT_EQ(parse({"--FILE", "x"}).outcome, O::Usage);
    EXPECT_EQ(parse({"x.wav"}).outcome, O::Usage);
    EXPECT_EQ(parse({"--help"}).outcome, O::Help);
    EXPECT_EQ(parse({"--file", "x", "-h"}).outcome, O::Help);
}

} // namespace
} // namespace vyn
