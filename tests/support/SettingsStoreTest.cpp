// The settings file: damaged input, lists, atomic writes and what cannot be stored.

#include "support/SettingsStore.h"
#include "common/TestPaths.h"
#include "support/FileIo.h"
#include "support/KnownFolders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vyn {
namespace {

TEST(SettingsStore, DamagedLinesAreSkippedAndTheRestKept) {
    const std::string path = test::scratchDir("settings-damaged") + "/settings.ini";
    using namespace std::string_literals;
    std::ofstream(path, std::ios::binary) << "[VYN]\n# comment\nvisibleDecks=6\r\ngarbage line\n"
                                             "=no key\nlayout=2\nx\0y=3\ntimeH= 0 \nlayout=9\n"
                                             "a=12abc\nb=99999999999\nc=\nd=-3"s;
    auto store = openSettingsFile(path);
    EXPECT_EQ(store->integer("visibleDecks", 4), 6) << "a CR line ending is not part of the value";
    EXPECT_EQ(store->integer("layout", 0), 2) << "the first of repeated values is the value";
    EXPECT_EQ(store->list("layout"), (std::vector<std::string>{"2", "9"}));
    EXPECT_EQ(store->integer("timeH", 1), 0) << "spaces around a number are allowed";
    EXPECT_FALSE(store->text("x").has_value()) << "a line with a NUL byte is dropped";
    // Non-numbers and integers out of range read as the fallback.
    for (const char* key : {"a", "b", "c", "missing"})
        EXPECT_EQ(store->integer(key, 5), 5) << key;
    EXPECT_EQ(store->integer("d", 5), -3);
}

TEST(SettingsStore, WritesThroughAndKeepsListsInOrder) {
    const std::string dir = test::scratchDir("settings-write");
    const std::string path = dir + "/nested/vyn/settings.ini";
    {
        auto store = openSettingsFile(path);
        ASSERT_TRUE(store->setInteger("visibleDecks", 3)) << store->lastError();
        ASSERT_TRUE(store->setList("libraryRoots", {"/media/b", "/media/a", "/media/b"}));
        ASSERT_TRUE(store->setText("updateSeen", "v0.2.0 = new"));
        ASSERT_TRUE(store->setInteger("visibleDecks", 5)) << "replaced in place";
    }
    EXPECT_EQ(test::readText(path), "visibleDecks=5\nlibraryRoots=/media/b\nlibraryRoots=/media/a\n"
                                    "libraryRoots=/media/b\nupdateSeen=v0.2.0 = new\n");
    EXPECT_FALSE(fileExists(path + ".tmp"));
    auto again = openSettingsFile(path);
    EXPECT_EQ(again->list("libraryRoots"),
              (std::vector<std::string>{"/media/b", "/media/a", "/media/b"}));
    EXPECT_EQ(again->text("updateSeen"), "v0.2.0 = new");
    ASSERT_TRUE(again->remove("libraryRoots"));
    EXPECT_TRUE(again->list("libraryRoots").empty());
    EXPECT_EQ(test::readText(path), "visibleDecks=5\nupdateSeen=v0.2.0 = new\n");
}

TEST(SettingsStore, RefusesWhatCannotBeStoredAndChangesNothing) {
    const std::string dir = test::scratchDir("settings-refuse");
    auto store = openSettingsFile(dir + "/settings.ini");
    ASSERT_TRUE(store->setText("name", "kept"));
    for (const char* key : {"", "a=b", " padded", "line\nbreak", "#comment", "[section]"})
        EXPECT_FALSE(store->setText(key, "x")) << key;
    EXPECT_FALSE(store->setText("name", "two\nlines"));
    EXPECT_FALSE(store->setList("name", {"fine", "bad\r"}));
    EXPECT_EQ(store->text("name"), "kept");
    EXPECT_EQ(test::readText(dir + "/settings.ini"), "name=kept\n");

    // A folder where the file should be: the rename over it fails and memory keeps the old value.
    ASSERT_TRUE(writeFileAtomically(dir + "/blocker", "", nullptr));
    auto blocked = openSettingsFile(dir + "/blocker/settings.ini");
    EXPECT_FALSE(blocked->setInteger("layout", 1));
    EXPECT_EQ(blocked->lastError(), "settings could not be saved");
    EXPECT_FALSE(blocked->text("layout").has_value());
}

TEST(KnownFolders, ExecutableFolderHoldsTheRunningTest) {
    const std::string folder = executableFolder();
    ASSERT_FALSE(folder.empty());
    const std::filesystem::path self = std::filesystem::path(folder) / "settings_tests";
    EXPECT_TRUE(std::filesystem::exists(self) || std::filesystem::exists(self.string() + ".exe"))
        << folder;
}

// The XDG folders (Linux); the Windows ones are in SettingsRegistryTest.cpp.
#ifndef _WIN32
TEST(KnownFolders, DocumentsFromUserDirs) {
    const std::pair<const char*, const char*> cases[] = {
        {"XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", "/home/dj/Dokumente"},
        {"# c\nXDG_MUSIC_DIR=\"$HOME/Music\"\n  XDG_DOCUMENTS_DIR=\"/data/docs/\"\n", "/data/docs"},
        {"XDG_DOCUMENTS_DIR=\"relative/docs\"\n", ""},
        {"XDG_DOCUMENTS_DIR=\"$HOME/unterminated\n", ""},
        {"XDG_DOCUMENTS_DIR=\"$HOME/a\"\nXDG_DOCUMENTS_DIR=\"$HOME/b\"\n", "/home/dj/b"},
        {"", ""},
    };
    for (const auto& [text, documents] : cases)
        EXPECT_EQ(documentsDirFromUserDirs(text, "/home/dj"), documents) << text;
    EXPECT_EQ(documentsDirFromUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/x\"\n", ""), "");
}

TEST(KnownFolders, FollowTheXdgVariablesAndIgnoreRelativeOnes) {
    const std::string dir = test::scratchDir("known-folders");
    const test::ScopedEnvironment environment{
        {"HOME", dir}, {"XDG_CONFIG_HOME", "relative"}, {"XDG_CACHE_HOME", dir + "/c"}};
    ::vyn::test::unsetEnvironment("XDG_DOCUMENTS_DIR");
    EXPECT_EQ(configFolder(), dir + "/.config/vyn");
    EXPECT_EQ(cacheFolder(), dir + "/c/vyn");
    EXPECT_EQ(documentsFolder(), dir + "/Documents/VYN");
    std::filesystem::create_directories(dir + "/.config");
    std::ofstream(dir + "/.config/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n";
    EXPECT_EQ(documentsFolder(), dir + "/Docs/VYN");
}
#endif

} // namespace
} // namespace vyn
