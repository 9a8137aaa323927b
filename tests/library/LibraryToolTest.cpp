// vyn-tool library xml, library usb and anlz, run as processes: their JSON output byte for byte
// (an interface), the --summary, --track and --analysis forms, and the error exits. What the
// readers read is tested at their own level (XmlImportTest, UsbImportTest, AnlzReaderTest).

#include "SampleStick.h"
#include "common/LibraryFixtures.h"
#include "common/RenderedSets.h"
#include "common/TestPaths.h"

#include <gtest/gtest.h>

namespace vyn {
namespace {

std::string output(const std::string& arguments) {
    const test::ProcessResult p = test::runTool(arguments);
    EXPECT_EQ(p.exitCode, 0) << arguments << ": " << p.err;
    return p.out;
}

TEST(LibraryTool, PrintsTheCollectionTheSummaryAndOneTrack) {
    const std::string dir = test::scratchDir("tool-xml");
    const std::string file = "'" + dir + "/c.xml'";
    test::touch(dir + "/c.xml",
                "<DJ_PLAYLISTS><COLLECTION><TRACK TrackID=\"7\" Name=\"a &amp; b\" Artist=\"A\" "
                "AverageBpm=\"120\" TotalTime=\"1\" Year=\"2020\" Location=\"file:///x/a.mp3\">"
                "<TEMPO Inizio=\"0\" Bpm=\"120\" Metro=\"4/4\" Battito=\"1\"/>"
                "<POSITION_MARK Name=\"c\" Type=\"4\" Start=\"0.5\" End=\"1\" Num=\"2\"/></TRACK>"
                "</COLLECTION><PLAYLISTS><NODE Type=\"0\" Name=\"ROOT\"><NODE Type=\"1\" "
                "Name=\"P\"><TRACK Key=\"7\"/><TRACK Key=\"7\"/></NODE></NODE></PLAYLISTS>"
                "</DJ_PLAYLISTS>");
    const std::string track =
        R"({"id":1,"title":"a & b","artist":"A","album":"","genre":"","key":"","bpm":120,)"
        R"("duration":1,"path":"/x/a.mp3","analysisPath":"","grid":{"beats":2,"bpm":120,)"
        R"("constantTempo":true,"first":[{"time":0,"bpm":120,"beatInBar":1},)"
        R"({"time":0.5,"bpm":120,"beatInBar":2}]},"cues":[{"kind":2,"number":2,"start":0.5,)"
        R"("end":1,"name":"c"}],"label":"","sampleRate":0,"bitRate":0,"year":2020,"rating":0,)"
        R"("playCount":0,"displayName":"A - a & b","startPosition":0})";
    const std::string counts =
        R"("counts":{"tracks":1,"withGrids":1,"playlists":1,"missingFiles":1},)"
        R"("report":"Imported 1 tracks, 1 with grids, 1 playlists. 1 files were missing."})";
    EXPECT_EQ(output("library xml " + file),
              R"({"trackCount":1,"playlistTree":{"name":"ROOT","folder":true,"entries":0,)"
              R"("children":[{"name":"P","folder":false,"entries":2,"children":[]}]},"tracks":[)" +
                  track + "]," + counts + "\n");
    EXPECT_EQ(output("library xml --summary " + file), R"({"trackCount":1,)" + counts + "\n");
    EXPECT_EQ(output("library xml --track 1 " + file), track + "\n");
}

TEST(UsbTool, PrintsTheStickAndReadsTheAnalysisOnlyWhenAsked) {
    const std::string root = test::writeSampleStick(test::scratchDir("usb-tool") + "/my stick");
    const std::string grid = R"("grid":{"beats":2,"bpm":124,)";
    EXPECT_EQ(output("library usb --track 1 '" + root + "'").find(grid), std::string::npos);
    const std::string track = output("library usb --analysis --track 1 '" + root + "'");
    EXPECT_NE(track.find(R"("path":")" + root + R"(/Contents/alpha.wav")"), std::string::npos);
    EXPECT_NE(track.find(grid), std::string::npos) << track;
}

TEST(AnlzTool, PrintsSectionsGridCuesAndWaveform) {
    const std::string file = test::scratchDir("anlz-tool") + "/x.EXT";
    test::touch(file, test::AnlzWriter()
                          .section("PPTH", std::string(4, '\0'), "path")
                          .beatGrid({{1, 12000, 0}})
                          .extendedCueList({{1, 1, 250}})
                          .waveform(true, std::vector<std::uint16_t>(450, 1), 150)
                          .build());
    EXPECT_EQ(output("anlz " + file),
              R"({"sections":[{"tag":"PPTH","headerLength":16,"totalLength":20},)"
              R"({"tag":"PQTZ","headerLength":24,"totalLength":32},)"
              R"({"tag":"PCO2","headerLength":20,"totalLength":64},)"
              R"({"tag":"PWV5","headerLength":24,"totalLength":924}],)"
              R"("grid":{"beats":1,"bpm":120,"constantTempo":true,)"
              R"("first":[{"time":0,"bpm":120,"beatInBar":1}]},)"
              R"("cues":[{"kind":1,"number":0,"start":0.25,"end":-1,"name":""}],)"
              R"("waveform":{"columns":450,"columnsPerSecond":150}})"
              "\n");
}

// Failures print their message alone and exit 1; usage errors print the usage and exit 2.
TEST(LibraryToolErrors, EveryCommandFailsCleanly) {
    const std::string dir = test::scratchDir("tool-errors");
    test::touch(dir + "/ok.xml", "<DJ_PLAYLISTS><COLLECTION/></DJ_PLAYLISTS>");
    test::touch(dir + "/bad.DAT", "PMAX and more bytes");
    const std::pair<std::string, std::string> failures[] = {
        {"library xml --track 13 " + dir + "/ok.xml", "vyn-tool library: no track with id 13\n"},
        {"library xml " + dir + "/none.xml", "could not open " + dir + "/none.xml\n"},
        {"library usb " + dir, "could not open " + dir + "/PIONEER/rekordbox/export.pdb\n"},
        {"anlz " + dir + "/bad.DAT", "missing PMAI header\n"},
    };
    for (const auto& [args, err] : failures) {
        const auto p = test::runTool(args);
        EXPECT_EQ(std::tie(p.exitCode, p.err, p.out), std::make_tuple(1, err, "")) << args;
    }
    const std::pair<const char*, const char*> usage[] = {
        {"library", "usage: vyn-tool library xml"},
        {"library bogus x", "usage: vyn-tool library xml"},
        {"library xml", "usage: vyn-tool library xml"},
        {"library xml a b", "usage: vyn-tool library xml"},
        {"library xml --track 0 a", "usage: vyn-tool library xml"},
        {"library xml --track", "usage: vyn-tool library xml"},
        {"library xml --summary --track 2 a", "usage: vyn-tool library xml"},
        {"library usb", "vyn-tool library usb ["},
        {"library usb --summary --track 1 x", "vyn-tool library usb ["},
        {"anlz", "usage: vyn-tool anlz"},
    };
    for (const auto& [args, text] : usage) {
        const auto p = test::runTool(args);
        EXPECT_EQ(p.exitCode, 2) << args;
        EXPECT_NE(p.err.find(text), std::string::npos) << args << ": " << p.err;
    }
}

} // namespace
} // namespace vyn
