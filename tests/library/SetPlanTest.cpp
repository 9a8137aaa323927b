// Set Plan: parsing and both writings, grouping rules, undo and redo, marks and followers, the
// decks followers go to, and the files: local, damaged, and on sticks that may refuse.

#include "library/SetPlan.h"
#include "common/LibraryFixtures.h"
#include "common/TestPaths.h"
#include "library/SetPlanStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

namespace vyn {
namespace {

using namespace set_plan_text;

const std::string kHead = "VYNSETPLAN 1\n";
const std::string kValid = kHead + "playlist Club/Peak\ngroup 2\n/Contents/A/x.mp3\n"
                                   "/Contents/A/y.mp3\nplaylist Home\ngroup 2\n/home/a.mp3\n"
                                   "/home/b.mp3\n";

TEST(SetPlanParse, EveryMessageAndThePlanLeftAsItWas) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {" VYNSETPLAN 1 \r\n\r\n", ""},
        {"VYNSETPLAN 2\n", kNotAPlan},
        {"hello", kNotAPlan},
        {kHead + "playlist  \t\n", kEmptyPlaylistKey},
        {kHead + "group 2\na\nb\n", kGroupWithoutPlaylist},
        {kHead + "playlist P\ngroup x\n", kSizeNotANumber},
        {kHead + "playlist P\ngroup 2x\n", kSizeNotANumber},
        {kHead + "playlist P\ngroup 1\na\n", kGroupTooSmall},
        {kHead + "playlist P\ngroup -3\n", kGroupTooSmall},
        {kHead + "playlist P\ngroup 3\na\nb\n", kTruncated},
        {kHead + "playlist P\ngroup 2\na\n\r\nb\n", kEmptyPath},
        {kHead + "playlist P\nsomething\n", kUnexpectedLine},
        {kHead + "playlist\n", kUnexpectedLine},
    };
    for (const auto& [text, error] : cases) {
        SetPlan plan;
        ASSERT_EQ(plan.parse(kValid), "");
        const std::string before = plan.fullText();
        EXPECT_EQ(plan.parse(text), error) << text;
        if (!error.empty()) {
            EXPECT_EQ(plan.fullText(), before) << text;
        }
    }
}

TEST(SetPlanParse, TheTwoWritings) {
    SetPlan plan;
    ASSERT_EQ(plan.parse(kHead +
                         "playlist Mixed\r\ngroup 2\r\nE:\\Contents\\A\\x.mp3\r\n"
                         "/home/x.mp3\r\n" +
                         kValid.substr(kHead.size())),
              "");
    EXPECT_EQ(plan.fullText(), kHead +
                                   "playlist Mixed\ngroup 2\n/Contents/A/x.mp3\n"
                                   "/home/x.mp3\n" +
                                   kValid.substr(kHead.size()));
    EXPECT_EQ(plan.stickText(),
              kHead + "playlist Club/Peak\ngroup 2\n/Contents/A/x.mp3\n/Contents/A/y.mp3\n")
        << "a group with a local track stays off the stick";
    EXPECT_TRUE(plan.stickTextHasGroups());

    // Merge: playlists with groups replace their namesakes; nothing else changes.
    EXPECT_EQ(plan.merge(kHead), "");
    EXPECT_EQ(plan.merge("garbage"), kNotAPlan);
    ASSERT_EQ(plan.merge(kHead + "playlist Home\ngroup 2\n/h/1.mp3\n/h/2.mp3\nplaylist Empty\n"),
              "");
    ASSERT_EQ(plan.playlists().size(), 3u);
    EXPECT_EQ(plan.playlists()[2].groups[0].keys[0], "/h/1.mp3");
}

// Whatever the plan holds is written so that it reads back the same: the local file is rewritten
// at every change, and undo goes back through the text.
TEST(SetPlanParse, WhatIsWrittenReadsBackTheSame) {
    SetPlan plan;
    ASSERT_EQ(plan.parse(kHead + "playlist P\ngroup 2\n\r\r\na\r\r\r\n"), "");
    ASSERT_EQ(plan.group(" Crate\nNight ", {0, 1}, {"/m/1.mp3", "/m/2.mp3"}), "");
    EXPECT_EQ(plan.group("P", {0, 1}, {"/m/a\nb.mp3", "/m/c.mp3"}), kNoPath);
    const std::string written = plan.fullText();
    SetPlan again;
    ASSERT_EQ(again.parse(written), "") << written;
    EXPECT_EQ(again.fullText(), written);
    EXPECT_EQ(again.playlists(), plan.playlists());
    EXPECT_EQ(again.playlists()[1].key, "Crate Night");
    EXPECT_EQ(again.marks(" Crate\nNight ", {"/m/1.mp3", "/m/2.mp3"})[0].run, 1)
        << "found again by the name it was grouped under";
    ASSERT_TRUE(plan.undo());
    EXPECT_EQ(plan.playlists()[0].groups[0].keys, (std::vector<std::string>{"\r", "a\r\r"}));
}

std::vector<std::string> stickPaths(const std::string& drive, int n) {
    std::vector<std::string> out;
    for (int i = 0; i < n; ++i)
        out.push_back(drive + "\\Contents\\Artist\\" + std::to_string(i) + ".mp3");
    return out;
}

TEST(SetPlanGroup, RulesAndMessages) {
    const std::vector<std::string> paths = stickPaths("E:", 6);
    std::vector<std::string> withoutPath = paths;
    withoutPath[1].clear();
    const std::tuple<std::string, std::vector<int>, const std::vector<std::string>*, std::string>
        cases[] = {
            {"", {1, 2}, &paths, kNoPlaylist},    {"P", {1}, &paths, kSelectTwo},
            {"P", {4, 4}, &paths, kNotAdjacent},  {"P", {3, 5}, &paths, kNotAdjacent},
            {"P", {5, 6}, &paths, kNotAdjacent},  {"P", {-1, 0}, &paths, kNotAdjacent},
            {"P", {0, 1}, &withoutPath, kNoPath}, {"P", {5, 4, 4}, &paths, ""},
        };
    SetPlan plan;
    for (const auto& [key, positions, tracks, error] : cases)
        EXPECT_EQ(plan.group(key, positions, *tracks), error);
    ASSERT_EQ(plan.playlists().size(), 1u);
    EXPECT_EQ(plan.playlists()[0].groups[0].keys,
              (std::vector<std::string>{"/Contents/Artist/4.mp3", "/Contents/Artist/5.mp3"}));

    // A track belongs to one group per playlist: grouping 2-3 after 3-4 drops the older group.
    ASSERT_EQ(plan.group("P", {3, 4}, paths), "");
    ASSERT_EQ(plan.group("P", {2, 3}, paths), "");
    ASSERT_EQ(plan.playlists()[0].groups.size(), 1u);
    EXPECT_EQ(plan.playlists()[0].groups[0].keys[0], "/Contents/Artist/2.mp3");

    plan.ungroup("P", {3}, paths);
    EXPECT_TRUE(plan.playlists()[0].groups.empty());
}

TEST(SetPlanGroup, UndoKeepsSixtyFourStepsAndRedoMirrorsIt) {
    const std::vector<std::string> paths = stickPaths("E:", 70);
    SetPlan plan;
    EXPECT_FALSE(plan.undo());
    for (int i = 0; i < 65; ++i)
        ASSERT_EQ(plan.group("P", {i, i + 1}, paths), "");
    const std::string last = plan.fullText();
    int undone = 0;
    while (plan.undo())
        ++undone;
    EXPECT_EQ(undone, 64) << "the 65th change dropped the oldest step";
    EXPECT_EQ(plan.playlists()[0].groups.size(), 1u) << "back to the first grouping";
    while (plan.redo()) {
    }
    EXPECT_EQ(plan.fullText(), last);
    plan.undo();
    ASSERT_EQ(plan.group("Q", {0, 1}, paths), "");
    EXPECT_FALSE(plan.redo()) << "a new change clears the redo steps";
}

TEST(SetPlanMarks, KeysFromDifferentMountPointsAgreeAndEveryRunIsMarked) {
    SetPlan home;
    ASSERT_EQ(home.group("Club/Peak", {0, 1}, stickPaths("E:", 3)), "");
    SetPlan away;
    ASSERT_EQ(away.parse(home.stickText()), "");
    const std::vector<std::string> mounted{"/media/dj/STICK/Contents/Artist/0.mp3",
                                           "/media/dj/STICK/Contents/Artist/1.mp3",
                                           "/media/dj/STICK/Contents/Artist/2.mp3"};
    const std::vector<GroupMark> marks = away.marks("Club/Peak", mounted);
    EXPECT_EQ(std::make_tuple(marks[0].run, marks[0].first, marks[1].last, marks[2].run),
              std::make_tuple(1, true, true, 0));
    EXPECT_EQ(away.followers("Club/Peak", 0, mounted), std::vector<int>{1});
    EXPECT_TRUE(away.followers("Club/Peak", 1, mounted).empty()) << "only the first leads";

    // Every place a group sits together is marked.
    ASSERT_EQ(away.parse(kHead + "playlist P\ngroup 2\n/a\n/b\ngroup 2\n/b\n/c\n"), "");
    const std::vector<GroupMark> m = away.marks("P", {"/a", "/b", "/c", "/a", "/b", "/x", "/c"});
    std::vector<int> runs;
    for (const GroupMark& mark : m)
        runs.push_back(mark.run);
    EXPECT_EQ(runs, (std::vector<int>{1, 1, 0, 2, 2, 0, 0}));
    EXPECT_EQ(std::make_pair(m[4].position, m[4].size), std::make_pair(1, 2));
}

TEST(SetPlanFollowers, GoToTheNextDecksThatAreNotPlaying) {
    const std::tuple<int, std::size_t, std::vector<bool>, std::vector<int>> cases[] = {
        {1, 2, {false, false, true, false}, {3, 0}},     // deck 2 of 4 while deck 3 plays
        {3, 3, {false, false, false, false}, {0, 1, 2}}, // wraps round
        {0, 3, {false, true, true, false}, {3}},         // the rest find no deck
        {0, 1, {}, {}},
    };
    for (const auto& [first, followers, playing, decks] : cases)
        EXPECT_EQ(followerDecks(first, followers, playing), decks) << first;
}

class SetPlanFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("set-plan-files");
        local = dir + "/docs/VYN/setplan.txt";
    }
    std::string stick(const std::string& name) {
        return test::writeStick(dir + "/" + name, {"x.mp3"});
    }
    std::string dir, local;
};

TEST_F(SetPlanFiles, ADamagedLocalFileIsKeptAsideBeforeAnythingIsWritten) {
    const std::string damaged = kHead + "playlist P\ngroup 3\n/a\n";
    test::touch(local, damaged);
    test::touch(local + ".damaged", "an older rescue");
    SetPlanStore store(local);
    const std::string message = store.load();
    EXPECT_NE(message.find(kTruncated), std::string::npos) << message;
    EXPECT_NE(message.find("setplan.txt.2.damaged"), std::string::npos) << message;
    EXPECT_EQ(readWholeFile(local + ".2.damaged").data, damaged);
    EXPECT_EQ(readWholeFile(local + ".damaged").data, "an older rescue");
    EXPECT_TRUE(store.plan().playlists().empty());
    ASSERT_EQ(store.plan().group("P", {0, 1}, {"/a", "/b"}), "");
    EXPECT_TRUE(store.writeLocal());
    EXPECT_EQ(readWholeFile(local).data, store.plan().fullText());

    SetPlanStore reloaded(local);
    EXPECT_EQ(reloaded.load(), "");
    EXPECT_EQ(reloaded.plan().fullText(), store.plan().fullText());
}

TEST_F(SetPlanFiles, SaveWritesEveryStickAndNamesTheOnesThatFailed) {
    const std::string a = stick("a"), b = stick("b");
    const std::string notStick = dir + "/folder";
    SetPlanStore store(local);
    ASSERT_EQ(store.plan().group("P", {0, 1}, stickPaths("E:", 2)), "");
    EXPECT_EQ(store.save({notStick}), kPlugInStick);

    test::touch(b + "/PIONEER/VYN"); // a file where the folder should be
    const std::string failed = store.save({a, b, notStick});
    EXPECT_EQ(failed, "Saved to 1 of 2 sticks. " + std::string(kNoStickFolder) + " (" + b + ")");
    EXPECT_FALSE(store.plan().stickTextSaved()) << "Save stays enabled";
    std::filesystem::remove(b + "/PIONEER/VYN");
    std::filesystem::create_directories(SetPlanStore::stickFile(b)); // cannot be replaced
    EXPECT_NE(store.save({a, b}).find(kStickWriteFailed), std::string::npos);
    std::filesystem::remove(SetPlanStore::stickFile(b));

    EXPECT_EQ(store.save({a, b}), kSaved);
    EXPECT_TRUE(store.plan().stickTextSaved());
    EXPECT_EQ(readWholeFile(SetPlanStore::stickFile(b)).data, store.plan().stickText());
    EXPECT_EQ(readWholeFile(local).data, store.plan().fullText());
}

TEST_F(SetPlanFiles, SyncMergesSticksIntoAPlanWithoutStickGroups) {
    const std::string a = stick("a"), b = stick("b");
    const std::string onStick =
        kHead + "playlist Club\ngroup 2\n/Contents/1.mp3\n/Contents/2.mp3\n";
    test::touch(SetPlanStore::stickFile(a), onStick);
    SetPlanStore store(local);
    store.syncWithSticks({a, b});
    EXPECT_EQ(store.plan().stickText(), onStick);
    EXPECT_TRUE(store.plan().stickTextSaved());
    EXPECT_EQ(readWholeFile(local).data, store.plan().fullText()) << "kept locally at once";

    // With stick groups, sticks are only compared: B disagrees until it holds the same text.
    store.plan().setSavedStickText({});
    store.syncWithSticks({a, b});
    EXPECT_TRUE(store.plan().stickTextSaved()) << "b has no file: a alone was read and agrees";
    test::touch(SetPlanStore::stickFile(b), kHead);
    store.plan().setSavedStickText({});
    store.syncWithSticks({a, b});
    EXPECT_FALSE(store.plan().stickTextSaved());
}

} // namespace
} // namespace vyn
