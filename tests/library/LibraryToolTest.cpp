// vyn-tool library xml, library usb and anlz, run as processes: their JSON layouts (interfaces),
// the --summary, --track and --analysis forms, and the error exits. What the readers read is
// tested at their own level (XmlImportTest, UsbImportTest, AnlzReaderTest).

#include "AnlzWriter.h"
#include "PdbWriter.h"
#include "common/LibraryFixtures.h"
#include "common/TestPaths.h"
#include "library/XmlCollectionGenerator.h"
#include "support/FileIo.h"
#include "support/Json.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

test::ProcessResult tool(const std::string& arguments) {
    return test::runProcess(test::builtExecutable("vyn-tool") + " " + arguments);
}

test::ProcessResult libraryXml(const std::string& arguments) {
    return tool("library xml " + arguments);
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
    test::touch(dir + "/bad.xml", "<DJ_PLAYLISTS><COLLECTION><TRACK Name=\"x></DJ_PLAYLISTS>");
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

std::string makeStick() {
    const std::string root = test::scratchDir("usb-tool") + "/my stick";
    const std::string dat = "/PIONEER/USBANLZ/P001/ANLZ0000.DAT";
    test::PdbWriter w;
    test::PdbTrackSpec t;
    t.id = 3;
    t.title = "Song";
    t.filePath = "/Contents/song.mp3";
    t.analysisPath = dat;
    w.addRow(PdbTable::Tracks, test::pdbTrackRow(t));
    w.addRow(PdbTable::PlaylistTree, test::pdbPlaylistRow(1, 0, 0, false, "List"));
    w.addRow(PdbTable::PlaylistEntries, test::pdbEntryRow(0, 3, 1));
    test::touch(root + "/PIONEER/rekordbox/export.pdb", w.build());
    test::touch(
        root + dat,
        test::AnlzWriter().beatGrid({{1, 12600, 40}}).cueList({{2, 2, 1000, 3000}}).build());
    return root;
}

TEST(UsbTool, PrintsTheStickLikeTheXmlImportWithTheAnalysisWhenAsked) {
    const std::string root = makeStick();
    const JsonValue doc = json(tool("library usb '" + root + "'"));
    EXPECT_EQ(doc.find("playlistTree")->find("name")->asString(), "USB");
    const JsonValue& t = doc.find("tracks")->items().at(0);
    EXPECT_EQ(t.find("path")->asString(), root + "/Contents/song.mp3");
    EXPECT_EQ(t.find("grid")->find("beats")->asInteger(), 0); // read when loaded
    EXPECT_EQ(doc.find("report")->asString(),
              "Imported 1 tracks, 1 with grids, 1 playlists. 1 files were missing.");

    const JsonValue track = json(tool("library usb --analysis --track 1 '" + root + "'"));
    EXPECT_DOUBLE_EQ(track.find("grid")->find("bpm")->asNumber(), 126.0);
    EXPECT_DOUBLE_EQ(track.find("cues")->items().at(0).find("end")->asNumber(), 3.0);
}

TEST(UsbTool, FailuresGoToStandardError) {
    const std::string empty = test::scratchDir("usb-tool-empty");
    const auto missing = tool("library usb " + empty);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "could not open " + empty + "/PIONEER/rekordbox/export.pdb\n");
    EXPECT_TRUE(missing.out.empty());
    EXPECT_EQ(tool("library usb").exitCode, 2);
    EXPECT_EQ(tool("library usb --summary --track 1 " + empty).exitCode, 2);

    test::touch(empty + "/bad.DAT", "PMAX and more bytes");
    const auto bad = tool("anlz " + empty + "/bad.DAT");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "missing PMAI header\n");
    EXPECT_EQ(tool("anlz").exitCode, 2);
}

TEST(AnlzTool, PrintsSectionsGridCuesAndWaveform) {
    const std::string file = test::scratchDir("anlz-tool") + "/x.EXT";
    test::touch(file, test::AnlzWriter()
                          .section("PPTH", std::string(4, '\0'), "path")
                          .beatGrid({{1, 12000, 0}, {2, 12000, 500}})
                          .extendedCueList({{1, 1, 250}, {0, 1, 900}})
                          .waveform(true, std::vector<std::uint16_t>(450, 1), 150)
                          .build());
    const JsonValue doc = json(tool("anlz " + file));
    const auto& sections = doc.find("sections")->items();
    ASSERT_EQ(sections.size(), 4u);
    EXPECT_EQ(sections[0].find("tag")->asString(), "PPTH");
    EXPECT_EQ(sections[0].find("headerLength")->asInteger(), 16);
    EXPECT_EQ(sections[0].find("totalLength")->asInteger(), 20);
    EXPECT_EQ(doc.find("grid")->find("beats")->asInteger(), 2);
    EXPECT_EQ(doc.find("cues")->items().size(), 2u);
    EXPECT_EQ(doc.find("waveform")->find("columns")->asInteger(), 450);
    EXPECT_DOUBLE_EQ(doc.find("waveform")->find("columnsPerSecond")->asNumber(), 150.0);
}

} // namespace
} // namespace vyn
