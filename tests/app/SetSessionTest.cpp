// Set recording and replay in the application, on the silent output in real time: a recording of
// window commands saved under its name rules, a save that cannot be written kept and retried, the
// newest valid set offered at start, and the replay's ownership of the mix.

#include "app/Application.h"
#include "app/SetFiles.h"
#include "audio/NullAudioDevice.h"
#include "common/TestPaths.h"
#include "engine/EngineHost.h"
#include "support/FileIo.h"
#include "support/KnownFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

namespace vyn {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(SetFiles, NamesTakenInEitherPlaceGetTheNextSuffix) {
    const std::string dir = test::scratchDir("set-files");
    fs::create_directories(dir + "/a");
    fs::create_directories(dir + "/b");
    const std::vector<set_files::Place> places = {{dir + "/a", ".vynset"}, {dir + "/b", ".wav"}};
    EXPECT_EQ(set_files::freeStem("20240102-134501", places), "20240102-134501");
    std::ofstream(dir + "/a/20240102-134501.vynset");
    EXPECT_EQ(set_files::freeStem("20240102-134501", places), "20240102-134501-2");
    std::ofstream(dir + "/b/20240102-134501-2.wav");
    std::ofstream(dir + "/a/20240102-134501-2.wav"); // another extension: not taken
    EXPECT_EQ(set_files::freeStem("20240102-134501", places), "20240102-134501-3");
    // Two saves in the same second.
    SetReplay set;
    const auto first = set_files::save(set, dir + "/c", "20240102-134501");
    const auto second = set_files::save(set, dir + "/c", "20240102-134501");
    ASSERT_TRUE(first.ok && second.ok) << first.error << second.error;
    EXPECT_EQ(second.path, dir + "/c/20240102-134501-2.vynset");
}

TEST(SetFiles, TheNewestValidSetIsOfferedAndBrokenFilesArePassedOver) {
    const std::string dir = test::scratchDir("set-files-newest");
    SetReplay older, newer;
    older.name = "older";
    newer.name = "newer";
    ASSERT_TRUE(set_files::save(older, dir + "/sets", "1").ok);
    ASSERT_TRUE(set_files::save(newer, dir + "/fallback", "2").ok);
    std::ofstream(dir + "/sets/3.vynset") << "{\"format\":\"vyn-set-replay\",\"version\":2}";
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(dir + "/sets/1.vynset", now - 20s);
    fs::last_write_time(dir + "/fallback/2.vynset", now - 10s);
    const auto found = set_files::newestSet({dir + "/sets", dir + "/fallback", dir + "/none"});
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->name, "newer") << "the newest file is of another version";
    EXPECT_FALSE(set_files::newestSet({dir + "/none"}).has_value());
}

class SetSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("set-session");
        // The XDG folders on Linux, a profile folder of the test's own on Windows; then the
        // folders as the code names them (documents: VYN's folder in the documents folder).
        folders.emplace(std::initializer_list<std::pair<const char*, std::string>>{
            {"XDG_DOCUMENTS_DIR", dir + "/documents"},
            {"XDG_DATA_HOME", dir + "/data"},
            {"VYN_USER_ROOT", dir + "/profile"}});
        documents = documentsFolder();
        data = dataFolder();
        ASSERT_EQ(documents.rfind(dir, 0), 0u) << documents;
        ASSERT_EQ(data.rfind(dir, 0), 0u) << data;
    }
    void TearDown() override {
        if (app) app->shutdown();
        folders.reset();
    }
    void startApp() {
        ApplicationOptions options;
        options.device = std::make_unique<NullAudioDevice>(2, 48000.0, 256);
        options.midi = false;
        app = std::make_unique<Application>(std::move(options));
        app->start();
        ASSERT_TRUE(app->audioRunning());
    }
    // Refreshes as the window's timer would until `done` holds (at most 10 s).
    bool refreshUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 1000; ++i) {
            app->refresh(Application::Clock::now());
            if (done()) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    std::uint64_t frame() {
        app->refresh(Application::Clock::now());
        return app->snapshot().frame;
    }
    // A recording of quantise switched on and, a second later, off again, ended and saved.
    void recordQuantise() {
        SetSession& s = app->sets();
        s.pressRecord(Application::Clock::now());
        ASSERT_EQ(s.recordState(), RecordState::Recording) << app->statusLine();
        EXPECT_EQ(app->statusLine(), "recording commands and MIDI");
        for (int i = 0; i < 2; ++i) {
            const std::uint64_t from = frame();
            ASSERT_TRUE(refreshUntil(
                [&] { return app->snapshot().frame > from + (i == 0 ? 4800 : 48000); }));
            const bool quantise = app->snapshot().quantise;
            app->toggleQuantise();
            ASSERT_TRUE(refreshUntil([&] { return app->snapshot().quantise != quantise; }));
        }
        s.pressRecord(Application::Clock::now());
        EXPECT_EQ(s.recordLabel(), std::string("saving"));
        EXPECT_FALSE(s.recordEnabled());
        ASSERT_TRUE(refreshUntil([&] { return s.recordState() != RecordState::Saving; }));
    }

    std::optional<test::ScopedEnvironment> folders;
    std::string dir, documents, data;
    std::unique_ptr<Application> app;
};

TEST_F(SetSessionTest, ARecordingIsSavedUnderItsTimeAndOfferedForReplayWhichOwnsTheMix) {
    startApp();
    recordQuantise();
    const std::string folder = documents + "/sets";
    const auto saved = test::filesIn(folder);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].size(), std::string("20240102-134501.vynset").size()) << saved[0];
    EXPECT_EQ(app->statusLine(), "saved " + saved[0] + " (0:01)");
    const auto read = readSetReplay(readWholeFile(folder + "/" + saved[0]).data);
    ASSERT_TRUE(read.ok);
    ASSERT_EQ(read.replay.events.size(), 2u);
    EXPECT_EQ(read.replay.events[0].command, static_cast<int>(CommandType::SET_QUANTISE));
    EXPECT_GE(read.replay.events[0].frame, 4800) << "relative to the recording's start";
    EXPECT_EQ(read.replay.name.rfind("Set 20", 0), 0u);

    // The replay switches quantise as recorded and, until its end, refuses the window's
    // commands and load requests.
    SetSession& s = app->sets();
    ASSERT_TRUE(s.replayEnabled());
    const bool before = app->snapshot().quantise;
    s.pressReplay(Application::Clock::now());
    EXPECT_EQ(app->statusLine(), "replay controls own the mix");
    EXPECT_TRUE(app->replayOwnsMix());
    EXPECT_FALSE(s.recordEnabled()) << "no recording while a replay plays";
    s.pressRecord(Application::Clock::now());
    EXPECT_EQ(s.recordState(), RecordState::Idle);
    ASSERT_TRUE(refreshUntil([&] { return app->snapshot().quantise != before; }));
    app->toggleQuantise();
    EXPECT_FALSE(app->loadFile(0, dir + "/track.wav"));
    const std::uint64_t from = frame();
    ASSERT_TRUE(refreshUntil([&] { return app->snapshot().frame > from + 4800; }));
    ASSERT_TRUE(app->replayOwnsMix()) << "the set's second switch is still ahead";
    EXPECT_NE(app->snapshot().quantise, before) << "the window's switch was refused";
    ASSERT_TRUE(refreshUntil([&] { return !app->replayOwnsMix(); })) << "the replay ends";
    ASSERT_TRUE(refreshUntil([&] { return app->snapshot().quantise == before; }));
    EXPECT_TRUE(app->loadFile(0, dir + "/track.wav")) << "queued once the replay let go";

    // The saved set comes back at the next start.
    app->shutdown();
    app.reset();
    startApp();
    ASSERT_TRUE(app->sets().available().has_value());
    EXPECT_EQ(app->sets().available()->events.size(), 2u);
}

TEST_F(SetSessionTest, ASaveThatCannotBeWrittenIsKeptAndTheNextPressWritesIt) {
    // A file where the folders should be: root may write anywhere, but not under a file.
    fs::create_directories(fs::path(documents).parent_path());
    fs::create_directories(fs::path(data).parent_path());
    std::ofstream(documents) << "in the way";
    startApp();
    recordQuantise();
    const std::string fallback = data + "/sets";
    ASSERT_EQ(test::filesIn(fallback).size(), 1u);
    EXPECT_NE(app->statusLine().find(" in " + fallback + ": " + documents + "/sets"),
              std::string::npos)
        << app->statusLine();

    fs::remove_all(data);
    std::ofstream(data) << "in the way";
    recordQuantise();
    SetSession& s = app->sets();
    EXPECT_EQ(s.recordState(), RecordState::Unsaved);
    EXPECT_EQ(s.recordLabel(), std::string("end & save"));
    EXPECT_EQ(app->statusLine().rfind("could not save set replay in " + documents + "/sets", 0), 0u)
        << app->statusLine();
    EXPECT_NE(app->statusLine().find("end & save tries again"), std::string::npos);
    EXPECT_TRUE(s.replayEnabled()) << "the kept set can be replayed meanwhile";

    fs::remove(documents);
    s.pressRecord(Application::Clock::now());
    EXPECT_EQ(s.recordState(), RecordState::Idle);
    const auto saved = test::filesIn(documents + "/sets");
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(app->statusLine(), "saved " + saved[0] + " (0:01)");
    const auto read = readSetReplay(readWholeFile(documents + "/sets/" + saved[0]).data);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.replay.events.size(), 2u) << "the kept recording, whole";
}

} // namespace
} // namespace vyn
