#include "library/XmlImport.h"
#include "common/LibraryFixtures.h"
#include "common/TestPaths.h"
#include "library/Catalogue.h"

#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

namespace vyn {
namespace {

std::string collection(const std::string& tracks, const std::string& playlists = {}) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DJ_PLAYLISTS Version=\"1.0.0\">\n"
           "<PRODUCT Name=\"rekordbox\" Version=\"6.6.2\" Company=\"AlphaTheta\"/>\n"
           "<COLLECTION Entries=\"1\">\n" +
           tracks + "</COLLECTION>\n<PLAYLISTS>\n" + playlists + "</PLAYLISTS>\n</DJ_PLAYLISTS>\n";
}

ImportResult import(Catalogue& c, const std::string& xml) {
    return importXmlCollection(c, xml.data(), xml.size());
}

// One track with the given TEMPO/POSITION_MARK children, parsed without a catalogue.
XmlTrack parseOne(const std::string& attributes, const std::string& children = {}) {
    const std::string xml =
        collection("<TRACK TrackID=\"1\" " + attributes + ">" + children + "</TRACK>");
    XmlImportResult r = parseXmlCollection(xml.data(), xml.size());
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.tracks.size(), 1u);
    return r.tracks.empty() ? XmlTrack{} : r.tracks[0];
}

std::string tempo(double start, double bpm, const char* metro = "4/4", int battito = 1) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "<TEMPO Inizio=\"%g\" Bpm=\"%g\" Metro=\"%s\" Battito=\"%d\"/>",
                  start, bpm, metro, battito);
    return buf;
}

// The whole grid on one line: "bpm constant|varying beatsPerBar: time/beatInBar@bpm ...".
std::string describe(const BeatGrid& g) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g %s %d:", g.bpm, g.constantTempo ? "constant" : "varying",
                  g.beatsPerBar);
    std::string out = buf;
    for (const GridBeat& b : g.beats) {
        std::snprintf(buf, sizeof buf, " %g/%d@%g", b.time, b.beatInBar, b.bpm);
        out += buf;
    }
    return out;
}

TEST(XmlImportParse, RefusesInputThatIsNotACollection) {
    const std::string broken = collection("<TRACK Name=\"x/>");
    const std::pair<std::string, std::string> cases[] = {
        {"", "empty XML"},
        {"<?xml version=\"1.0\"?><playlist><TRACK Name=\"x\"/></playlist>",
         "not a rekordbox XML file (no DJ_PLAYLISTS element)"},
        {broken, "XML parse error: malformed attributes in <TRACK>"},
    };
    for (const auto& [xml, error] : cases) {
        const XmlImportResult r = parseXmlCollection(xml.data(), xml.size());
        EXPECT_EQ(std::tie(r.ok, r.error), std::make_tuple(false, error));
        EXPECT_TRUE(r.tracks.empty());
    }
    EXPECT_EQ(parseXmlCollection(broken.data(), broken.size()).errorOffset, broken.find("<TRACK"));
}

TEST(XmlImportParse, ReadsTrackAttributes) {
    const XmlTrack t =
        parseOne("Name=\"Caf&#233; &amp; Bar\" Artist=\"A\" Album=\"B\" Genre=\"G\" Label=\"L\" "
                 "Tonality=\"Fm\" AverageBpm=\"127.50\" TotalTime=\"301\" SampleRate=\"44100\" "
                 "BitRate=\"320\" Year=\"2019\" Rating=\"255\" PlayCount=\"7\" Composer=\"C\" "
                 "Remixer=\"R\" Comments=\"note\" Size=\"6899624\" Name=\"second name is ignored\" "
                 "Location=\"file://localhost/C:/Music/a%20b.mp3\"");
    EXPECT_EQ(std::tie(t.trackId, t.title, t.artist, t.album, t.genre, t.label, t.key, t.path),
              std::make_tuple(1, std::string("Caf\xC3\xA9 & Bar"), "A", "B", "G", "L", "Fm",
                              "C:/Music/a b.mp3"));
    EXPECT_EQ(std::tie(t.bpm, t.duration, t.sampleRate, t.bitRate, t.year, t.rating, t.playCount),
              std::make_tuple(127.5, 301.0, 44100, 320, 2019, 255, 7));
    EXPECT_EQ(std::tie(t.composer, t.remixer, t.comments, t.size),
              std::make_tuple("C", "R", "note", 6899624));
}

TEST(XmlImportParse, UnreadableNumbersTakeTheirDefaults) {
    const XmlTrack t = parseOne("AverageBpm=\"nan\" TotalTime=\"inf\" Year=\"99999999999\" "
                                "SampleRate=\"abc\"",
                                "<TEMPO Inizio=\"-nan\" Bpm=\"1e999\"/><POSITION_MARK "
                                "Start=\"nan\" End=\"inf\" Num=\"x\"/>");
    EXPECT_EQ(std::tie(t.bpm, t.duration, t.year, t.sampleRate), std::make_tuple(0.0, 0.0, 0, 0));
    ASSERT_EQ(t.tempoMarkers.size(), 1u);
    EXPECT_EQ(std::tie(t.tempoMarkers[0].start, t.tempoMarkers[0].bpm), std::make_tuple(0.0, 0.0));
    ASSERT_EQ(t.marks.size(), 1u);
    EXPECT_EQ(std::tie(t.marks[0].start, t.marks[0].end, t.marks[0].number),
              std::make_tuple(0.0, -1.0, -1));
}

TEST(XmlImportGrid, MarkersBecomeBeats) {
    const std::tuple<const char*, std::string, const char*> cases[] = {
        // One marker runs to half a period before the end.
        {"2.0", tempo(0.5, 120), "120 constant 4: 0.5/1@120 1/2@120 1.5/3@120"},
        {"3.6", tempo(0, 120, "3/4"),
         "120 constant 4: 0/1@120 0.5/2@120 1/3@120 1.5/1@120 2/2@120 2.5/3@120 3/1@120"},
        {"1.6", tempo(0, 120, "4/4", 3), "120 constant 4: 0/3@120 0.5/4@120 1/1@120"},
        // Each segment ends at the next marker.
        {"6", tempo(0, 120) + tempo(2, 60),
         "90 varying 4: 0/1@120 0.5/2@120 1/3@120 1.5/4@120 2/1@60 3/2@60 4/3@60 5/4@60"},
        // A marker without a usable tempo gives no beats but still ends the segment before it.
        {"4", tempo(0, 120) + tempo(1, 0) + tempo(3, 120),
         "120 constant 4: 0/1@120 0.5/2@120 3/1@120 3.5/2@120"},
        // Tempos outside 20..400 give no beats; the last marker gets at least one, even past the
        // end or without a duration.
        {"0.5", tempo(0, 400), "400 constant 4: 0/1@400 0.15/2@400 0.3/3@400"},
        {"10", tempo(0, 20), "20 constant 4: 0/1@20 3/2@20 6/3@20"},
        {"10", tempo(0, 500) + tempo(1, 19.99) + tempo(2, 0), "0 constant 4:"},
        {"10", tempo(12, 120), "120 constant 4: 12/1@120"},
        {nullptr, tempo(0, 120), "120 constant 4: 0/1@120"},
        // Sorted stably by time: of the two markers at 1 s the second owns the segment.
        {"3", tempo(1, 120) + tempo(1, 100) + tempo(0, 60, "4/4", 4),
         "90 varying 4: 0/4@60 1/1@100 1.6/2@100 2.2/3@100"},
    };
    for (const auto& [totalTime, markers, grid] : cases) {
        SCOPED_TRACE(markers);
        const std::string duration =
            totalTime ? "TotalTime=\"" + std::string(totalTime) + "\"" : std::string();
        EXPECT_EQ(describe(parseOne(duration, markers).grid), grid);
    }
    // An unusable bar length counts in four; an unusable Battito starts the bar.
    for (const std::string& marker :
         {tempo(0, 120, "7"), tempo(0, 120, "0/4"), tempo(0, 120, "17/4"), tempo(0, 120, "/4"),
          tempo(0, 120, "x/4"), tempo(0, 120, ""), tempo(0, 120, "4/4", 5),
          tempo(0, 120, "4/4", 0)}) {
        SCOPED_TRACE(marker);
        EXPECT_EQ(describe(parseOne("TotalTime=\"2.6\"", marker).grid),
                  "120 constant 4: 0/1@120 0.5/2@120 1/3@120 1.5/4@120 2/1@120");
    }
}

TEST(XmlImportGrid, StopsGrowingAtTheBeatLimit) {
    const BeatGrid g = buildXmlGrid({{0.0, 400.0, 1, 4}}, 1.0e6);
    EXPECT_EQ(g.beats.size(), kMaxGridBeats);
    // At huge start times a period no longer moves the time; the beat is not repeated.
    const BeatGrid flat = buildXmlGrid({{1.0e300, 120.0, 1, 4}, {3.0e300, 120.0, 1, 4}}, 0);
    EXPECT_EQ(flat.beats.size(), 1u);
}

TEST(XmlImportMarks, TypesBecomeCueKinds) {
    Catalogue c;
    const std::string xml =
        collection("<TRACK TrackID=\"1\" Location=\"file:///m/a.mp3\">"
                   "<POSITION_MARK Name=\"hot\" Type=\"0\" Start=\"1.5\" Num=\"2\"/>"
                   "<POSITION_MARK Name=\"mem\" Type=\"0\" Start=\"2.5\" Num=\"-1\"/>"
                   "<POSITION_MARK Name=\"fi\" Type=\"1\" Start=\"3\" Num=\"-1\"/>"
                   "<POSITION_MARK Name=\"fo\" Type=\"2\" Start=\"4\" Num=\"-1\"/>"
                   "<POSITION_MARK Name=\"load\" Type=\"3\" Start=\"5\" Num=\"-1\"/>"
                   "<POSITION_MARK Name=\"loop\" Type=\"4\" Start=\"6\" End=\"8.25\" Num=\"3\"/>"
                   "<POSITION_MARK Name=\"odd\" Type=\"9\" Start=\"7\" Num=\"1\"/>"
                   "<POSITION_MARK Name=\"bare\"/>"
                   "</TRACK>");
    ASSERT_TRUE(import(c, xml).ok);
    std::lock_guard<std::mutex> lock(c.mutex());
    const std::vector<CueMark> want = {
        {CueKind::HotCue, 2, 1.5, -1.0, "hot"},      {CueKind::Memory, -1, 2.5, -1.0, "mem"},
        {CueKind::FadeIn, -1, 3.0, -1.0, "fi"},      {CueKind::FadeOut, -1, 4.0, -1.0, "fo"},
        {CueKind::LoadPoint, -1, 5.0, -1.0, "load"}, {CueKind::Loop, 3, 6.0, 8.25, "loop"},
        {CueKind::HotCue, 1, 7.0, -1.0, "odd"},      {CueKind::Memory, -1, 0.0, -1.0, "bare"}};
    EXPECT_EQ(c.trackById(1)->cues, want);
}

TEST(XmlImportMerge, CopiesTracksFillsBpmFromTheGridAndCountsMissingFiles) {
    const std::string dir = test::scratchDir("xml-missing");
    std::ofstream(dir + "/a b.mp3") << "x";
    auto at = [&](const std::string& id, const std::string& file) {
        return "<TRACK TrackID=\"" + id + "\" Location=\"file://localhost" + dir + "/" + file +
               "\"/>";
    };
    // Present, gone, without a location, an escaped NUL that names no file, and a track whose
    // tempo only its grid states.
    Catalogue c;
    const ImportResult r =
        import(c, collection(at("1", "a%20b.mp3") + at("2", "gone.mp3") + "<TRACK TrackID=\"3\"/>" +
                             at("4", "a%00b.mp3") +
                             "<TRACK TrackID=\"9\" Name=\"T\" Artist=\"A\" Tonality=\"Am\" "
                             "AverageBpm=\"0.00\" TotalTime=\"3\" "
                             "Location=\"file://localhost/C:/Music/a%20b.mp3\">" +
                             tempo(0, 120) + "</TRACK>"));
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(importReport(r.counts),
              "Imported 5 tracks, 1 with grids, 0 playlists. 4 files were missing.");
    std::lock_guard<std::mutex> lock(c.mutex());
    const CatalogueTrack& t = *c.trackById(5);
    EXPECT_EQ(std::tie(t.path, t.key, t.bpm, t.analysisPath, t.sourceId),
              std::make_tuple("C:/Music/a b.mp3", "Am", 120.0, "", ""));
    EXPECT_EQ(t.grid.beats.size(), 6u);
}

const char* kTwoTracks = "<TRACK TrackID=\"10\" Name=\"one\" Location=\"file:///m/1.mp3\"/>"
                         "<TRACK TrackID=\"20\" Name=\"two\" Location=\"file:///m/2.mp3\"/>";

TEST(XmlImportPlaylists, BuildsTheTreeDroppingUnknownKeys) {
    Catalogue c;
    const std::string xml =
        collection(kTwoTracks,
                   "<NODE Type=\"0\" Name=\"ROOT\">"
                   "  <NODE Type=\"0\" Name=\"Folder\">"
                   "    <NODE Type=\"1\" Name=\"Inner\"><TRACK Key=\"20\"/><TRACK Key=\"99\"/>"
                   "      <TRACK Key=\"10\"/><TRACK Key=\"20\"/></NODE>"
                   "  </NODE>"
                   "  <NODE Name=\"No type is a folder\"/>"
                   "  <NODE Type=\"1\" Name=\"Empty\" Entries=\"0\"/>"
                   "  <NODE Type=\"1\" KeyType=\"1\" Name=\"By location\">"
                   "    <TRACK Key=\"file://localhost/m/2.mp3\"/><TRACK Key=\"file:///m/%31.mp3\"/>"
                   "    <TRACK Key=\"file:///m/none.mp3\"/><TRACK Key=\"10\"/></NODE>"
                   "</NODE>");
    const ImportResult r = import(c, xml);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.counts.playlists, 3u);
    const PlaylistNode want{"ROOT",
                            true,
                            {},
                            {{"Folder", true, {}, {{"Inner", false, {2, 1, 2}, {}}}},
                             {"No type is a folder", true, {}, {}},
                             {"Empty", false, {}, {}},
                             {"By location", false, {2, 1}, {}}}};
    std::lock_guard<std::mutex> lock(c.mutex());
    EXPECT_TRUE(c.root() == want);
}

TEST(XmlImportPlaylists, ALaterTrackWithTheSameIdWins) {
    Catalogue c;
    const std::string xml =
        collection("<TRACK TrackID=\"5\" Name=\"a\" Location=\"file:///a\"/>"
                   "<TRACK TrackID=\"5\" Name=\"b\" Location=\"file:///b\"/>",
                   "<NODE Type=\"1\" Name=\"solo root playlist\"><TRACK Key=\"5\"/></NODE>");
    const ImportResult r = import(c, xml);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.counts.playlists, 1u); // a playlist at the root counts too
    std::lock_guard<std::mutex> lock(c.mutex());
    EXPECT_EQ(c.root().trackIds, (std::vector<std::uint32_t>{2}));
}

TEST(XmlImportPlaylists, NestingBeyondTheLimitIsSkipped) {
    // A crafted branch far deeper than any stack could walk recursively, with a track deep
    // inside it, beside a playlist after it: the branch is kept down to the limit, the rest stays.
    std::string open, close;
    for (std::size_t i = 0; i < 200000; ++i) {
        open += "<NODE Type=\"0\" Name=\"n\">";
        close += "</NODE>";
    }
    Catalogue c;
    const ImportResult r = import(
        c, collection(kTwoTracks, "<NODE Type=\"0\" Name=\"ROOT\">" + open + "<TRACK Key=\"10\"/>" +
                                      close +
                                      "<NODE Type=\"1\" Name=\"after\"><TRACK Key=\"20\"/></NODE>"
                                      "</NODE>"));
    ASSERT_TRUE(r.ok) << r.error;
    std::lock_guard<std::mutex> lock(c.mutex());
    EXPECT_EQ(c.size(), 2u);
    const PlaylistNode& root = c.root();
    ASSERT_EQ(root.children.size(), 2u);
    EXPECT_EQ(root.children[1], (PlaylistNode{"after", false, {2}, {}}));
    // Down the first children: the limit's depth, and the track too deep to keep is gone.
    std::size_t depth = 0, tracks = 0;
    for (const PlaylistNode* n = &root; n; n = n->children.empty() ? nullptr : &n->children[0]) {
        ++depth;
        tracks += n->trackIds.size();
    }
    EXPECT_EQ(std::tie(depth, tracks), std::make_tuple(kMaxPlaylistDepth, 0u));
}

TEST(XmlImportMerge, ReimportKeepsIdsAndReplacesTheTreeAndAFailedOneChangesNothing) {
    Catalogue c;
    ASSERT_TRUE(import(c, collection(kTwoTracks, "<NODE Type=\"0\" Name=\"first\"/>")).ok);
    const std::string again =
        collection("<TRACK TrackID=\"1\" Name=\"new\" Location=\"file:///m/3.mp3\"/>"
                   "<TRACK TrackID=\"2\" Name=\"two, renamed\" Location=\"file:///m/2.mp3\"/>",
                   "<NODE Type=\"0\" Name=\"second\"/>");
    ASSERT_TRUE(import(c, again).ok);
    ASSERT_TRUE(import(c, again).ok);
    const char* bad[] = {
        "<DJ_PLAYLISTS><COLLECTION><TRACK TrackID=\"3\" Location=\"file:///m/3\"/><!-- cut",
        "<COLLECTION><TRACK TrackID=\"4\" Location=\"file:///m/4\"/></COLLECTION>",
    };
    for (const char* xml : bad) {
        const ImportResult r = import(c, xml);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.counts.tracks, 0u);
    }
    std::lock_guard<std::mutex> lock(c.mutex());
    std::vector<std::string> titles;
    for (const CatalogueTrack& t : c.tracks())
        titles.push_back(t.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"one", "two, renamed", "new"}));
    EXPECT_EQ(c.root().name, "second");
}

TEST(XmlImportMerge, StrayAndDamagedElementsKeepWhatIsThere) {
    // Markers before any track and after a closed one, a TRACK never closed before the next one,
    // a TRACK in the playlists that is no collection track, and a file that stops inside the
    // playlists.
    Catalogue c;
    const std::string xml =
        "\xEF\xBB\xBF  <DJ_PLAYLISTS><COLLECTION><TEMPO Inizio=\"0\" Bpm=\"120\"/>"
        "<POSITION_MARK Start=\"1\"/><TRACK TrackID=\"1\" Location=\"file:///a\">"
        "<TRACK TrackID=\"2\" Location=\"file:///b\"></TRACK><TRACK TrackID=\"3\" "
        "TotalTime=\"2\" Location=\"file:///c\"/><TEMPO Inizio=\"0\" Bpm=\"120\"/></COLLECTION>"
        "<PLAYLISTS><TRACK TrackID=\"5\" Location=\"file:///d\"/><NODE Type=\"0\" Name=\"ROOT\">"
        "<NODE Type=\"1\" Name=\"p\"><TRACK Key=\"2\"/>";
    const ImportResult r = import(c, xml);
    ASSERT_TRUE(r.ok) << r.error;
    std::lock_guard<std::mutex> lock(c.mutex());
    ASSERT_EQ(c.size(), 3u);
    for (const CatalogueTrack& t : c.tracks())
        EXPECT_TRUE(t.grid.empty() && t.cues.empty()) << t.path;
    EXPECT_EQ(c.root(), (PlaylistNode{"ROOT", true, {}, {{"p", false, {2}, {}}}}));
}

TEST(XmlImportFile, ReportsFileProblems) {
    const std::string dir = test::scratchDir("xml-file");
    std::ofstream(dir + "/empty.xml").close();
    Catalogue c;
    EXPECT_EQ(importXmlFile(c, dir + "/none.xml").error, "could not open " + dir + "/none.xml");
    EXPECT_EQ(importXmlFile(c, dir + "/empty.xml").error, "empty XML file");
}

} // namespace
} // namespace vyn
