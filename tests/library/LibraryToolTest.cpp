// vyn-tool library xml, run as a process: its JSON layout (an interface), the --summary and
// --track forms, and the error exits. What the import reads is tested in XmlImportTest.

#include "common/TestPaths.h"
#include "library/XmlCollectionGenerator.h"
#include "support/FileIo.h"
#include "support/Json.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vyn {
namespace {

test::ProcessResult libraryXml(const std::string& arguments) {
    return test::runProcess(test::builtExecutable("vyn-tool") + " library xml " + arguments);
}

JsonValue json(const test::ProcessResult& p) {
    EXPECT_EQ(p.exitCode, 0) << p.err;
    JsonParseResult r = parseJson(p.out);
    EXPECT_TRUE(r.ok) << r.error << p.out;
    return r.value;
}

// The keys of `object`, in order, the first `n` of them at most.
std::vector<std::string> keys(const JsonValue& object, std::size_t n = 99) {
    std::vector<std::string> out;
    for (const auto& [k, v] : object.members())
        if (out.size() < n) out.push_back(k);
    return out;
}

class LibraryTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::scratchDir("tool-xml");
        generated = test::generateXmlCollection(12, 11, "/music");
        file = "'" + dir + "/c.xml'";
        ASSERT_TRUE(writeFileAtomically(dir + "/c.xml", generated.xml, nullptr));
    }
    std::string dir, file;
    test::ExpectedCollection generated;
};

TEST_F(LibraryTool, PrintsTheCollectionInItsJsonLayout) {
    const JsonValue doc = json(libraryXml(file));
    EXPECT_EQ(keys(doc, 3), (std::vector<std::string>{"trackCount", "playlistTree", "tracks"}));
    EXPECT_EQ(doc.find("trackCount")->asInteger(), 12);
    const JsonValue& t = doc.find("tracks")->items().at(7);
    EXPECT_EQ(keys(t, 12),
              (std::vector<std::string>{"id", "title", "artist", "album", "genre", "key", "bpm",
                                        "duration", "path", "analysisPath", "grid", "cues"}));
    EXPECT_EQ(t.find("id")->asInteger(), 8);
    EXPECT_EQ(t.find("title")->asString(), generated.tracks[7].title);
    const JsonValue& grid = *t.find("grid");
    EXPECT_EQ(keys(grid), (std::vector<std::string>{"beats", "bpm", "constantTempo", "first"}));
    EXPECT_EQ(keys(grid.find("first")->items().at(0)),
              (std::vector<std::string>{"time", "bpm", "beatInBar"}));
    const std::vector<std::string> cueKeys = {"kind", "number", "start", "end", "name"};
    for (const JsonValue& c : t.find("cues")->items())
        EXPECT_EQ(keys(c), cueKeys);
    const JsonValue& root = *doc.find("playlistTree");
    EXPECT_EQ(keys(root), (std::vector<std::string>{"name", "folder", "entries", "children"}));
    const auto& children = root.find("children")->items();
    ASSERT_EQ(children.size(), generated.root.children.size());
    for (std::size_t i = 0; i < children.size(); ++i) // entries: the node's own track count
        EXPECT_EQ(static_cast<std::size_t>(children[i].find("entries")->asInteger()),
                  generated.root.children[i].tracks.size());
}

TEST_F(LibraryTool, SummaryAndSingleTrack) {
    const JsonValue summary = json(libraryXml("--summary " + file));
    EXPECT_EQ(summary.find("tracks"), nullptr);
    EXPECT_EQ(summary.find("playlistTree"), nullptr);
    ASSERT_NE(summary.find("counts"), nullptr);
    EXPECT_EQ(summary.find("counts")->find("missingFiles")->asInteger(), 12);

    const JsonValue track = json(libraryXml("--track 3 " + file));
    EXPECT_EQ(track.find("id")->asInteger(), 3);
    EXPECT_EQ(track.find("title")->asString(), generated.tracks[2].title);
}

TEST_F(LibraryTool, FailuresPrintTheImportMessageAndUsageErrorsTheUsage) {
    std::ofstream(dir + "/bad.xml") << "<DJ_PLAYLISTS><COLLECTION><TRACK Name=\"x></DJ_PLAYLISTS>";
    const std::pair<std::string, std::string> failures[] = {
        {"--track 13 " + file, "vyn-tool library: no track with id 13\n"},
        {"'" + dir + "/none.xml'", "could not open " + dir + "/none.xml\n"},
        {"'" + dir + "/bad.xml'", "XML parse error: malformed attributes in <TRACK>\n"},
    };
    for (const auto& [args, err] : failures) {
        const auto p = libraryXml(args);
        EXPECT_EQ(p.exitCode, 1) << args;
        EXPECT_EQ(p.err, err);
        EXPECT_TRUE(p.out.empty());
    }
    const std::string tool = test::builtExecutable("vyn-tool");
    for (const char* args :
         {"library", "library bogus x", "library xml", "library xml a b", "library xml --track 0 a",
          "library xml --track", "library xml --summary --track 2 a"}) {
        const auto p = test::runProcess(tool + " " + args);
        EXPECT_EQ(p.exitCode, 2) << args;
        EXPECT_NE(p.err.find("usage: vyn-tool library xml"), std::string::npos) << p.err;
    }
}

TEST(LibraryToolReal, ReadsARekordboxExport) {
    const std::string root = test::rekordboxFixtures();
    if (root.empty()) GTEST_SKIP() << "the shared rekordbox fixtures are not present";
    const JsonValue doc = json(libraryXml("'" + root + "/xml/collection-a.xml'"));
    const JsonValue& two = doc.find("tracks")->items().at(5);
    EXPECT_EQ(two.find("title")->asString(), "Demo Track 2");
    EXPECT_EQ(two.find("grid")->find("first")->items()[1].find("time")->asNumber(), 0.525);
    EXPECT_EQ(doc.find("report")->asString(),
              "Imported 6 tracks, 2 with grids, 2 playlists. 6 files were missing.");
}

} // namespace
} // namespace vyn
