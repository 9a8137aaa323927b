// vyn-tool library usb and vyn-tool anlz, run as processes: their JSON is how the stick readers
// are checked from outside.

#include "AnlzWriter.h"
#include "PdbWriter.h"
#include "common/TestPaths.h"
#include "support/FileIo.h"
#include "support/Json.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vyn {
namespace {

namespace fs = std::filesystem;

test::ProcessResult tool(const std::string& arguments) {
    return test::runProcess(test::builtExecutable("vyn-tool") + " " + arguments);
}

JsonValue json(const test::ProcessResult& p) {
    JsonParseResult r = parseJson(p.out);
    EXPECT_TRUE(r.ok) << r.error << p.out;
    return r.value;
}

std::string makeStick() {
    const std::string root = test::scratchDir("usb-tool") + "/my stick";
    const std::string dat = "/PIONEER/USBANLZ/P001/ANLZ0000.DAT";
    fs::create_directories(root + "/PIONEER/rekordbox");
    fs::create_directories(fs::path(root + dat).parent_path());
    test::PdbWriter w;
    test::PdbTrackSpec t;
    t.id = 3;
    t.title = "Song";
    t.filePath = "/Contents/song.mp3";
    t.analysisPath = dat;
    w.addRow(PdbTable::Tracks, test::pdbTrackRow(t));
    w.addRow(PdbTable::PlaylistTree, test::pdbPlaylistRow(1, 0, 0, false, "List"));
    w.addRow(PdbTable::PlaylistEntries, test::pdbEntryRow(0, 3, 1));
    EXPECT_TRUE(writeFileAtomically(root + "/PIONEER/rekordbox/export.pdb", w.build(), nullptr));
    EXPECT_TRUE(writeFileAtomically(
        root + dat,
        test::AnlzWriter().beatGrid({{1, 12600, 40}}).cueList({{2, 2, 1000, 3000}}).build(),
        nullptr));
    return root;
}

TEST(UsbTool, PrintsTheStickLikeTheXmlImportWithTheAnalysisWhenAsked) {
    const std::string root = makeStick();
    const auto p = tool("library usb '" + root + "'");
    ASSERT_EQ(p.exitCode, 0) << p.err;
    const JsonValue doc = json(p);
    EXPECT_EQ(doc.find("playlistTree")->find("name")->asString(), "USB");
    const JsonValue& t = doc.find("tracks")->items().at(0);
    EXPECT_EQ(t.find("path")->asString(), root + "/Contents/song.mp3");
    EXPECT_EQ(t.find("grid")->find("beats")->asInteger(), 0); // read when loaded
    EXPECT_EQ(doc.find("report")->asString(),
              "Imported 1 tracks, 1 with grids, 1 playlists. 1 files were missing.");

    const auto analysed = tool("library usb --analysis --track 1 '" + root + "'");
    ASSERT_EQ(analysed.exitCode, 0) << analysed.err;
    const JsonValue track = json(analysed);
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

    ASSERT_TRUE(writeFileAtomically(empty + "/bad.DAT", "PMAX and more bytes", nullptr));
    const auto bad = tool("anlz " + empty + "/bad.DAT");
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_EQ(bad.err, "missing PMAI header\n");
    EXPECT_EQ(tool("anlz").exitCode, 2);
}

TEST(AnlzTool, PrintsSectionsGridCuesAndWaveform) {
    const std::string file = test::scratchDir("anlz-tool") + "/x.EXT";
    ASSERT_TRUE(writeFileAtomically(file,
                                    test::AnlzWriter()
                                        .section("PPTH", std::string(4, '\0'), "path")
                                        .beatGrid({{1, 12000, 0}, {2, 12000, 500}})
                                        .extendedCueList({{1, 1, 250}, {0, 1, 900}})
                                        .waveform(true, std::vector<std::uint16_t>(450, 1), 150)
                                        .build(),
                                    nullptr));
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
