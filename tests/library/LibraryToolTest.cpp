// vyn-tool library xml, run as a process: its JSON is how an import is checked from outside.

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

std::vector<std::string> keys(const JsonValue& object) {
    std::vector<std::string> out;
    for (const auto& [k, v] : object.members())
        out.push_back(k);
    return out;
}

std::vector<std::string> prefix(std::vector<std::string> v, std::size_t n) {
    v.resize(std::min(n, v.size()));
    return v;
}

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

TEST(LibraryTool, PrintsTheCollectionAsJson) {
    const std::string dir = test::scratchDir("tool-xml");
    const test::ExpectedCollection generated = test::generateXmlCollection(40, 11, "/music");
    ASSERT_TRUE(writeFileAtomically(dir + "/c.xml", generated.xml, nullptr));
    const auto p = libraryXml(quoted(dir + "/c.xml"));
    ASSERT_EQ(p.exitCode, 0) << p.err;
    const JsonParseResult json = parseJson(p.out);
    ASSERT_TRUE(json.ok) << json.error;
    const JsonValue& doc = json.value;
    EXPECT_EQ(prefix(keys(doc), 3),
              (std::vector<std::string>{"trackCount", "playlistTree", "tracks"}));
    EXPECT_EQ(doc.find("trackCount")->asInteger(), 40);

    const JsonValue& tracks = *doc.find("tracks");
    ASSERT_EQ(tracks.items().size(), 40u);
    const JsonValue& t = tracks.items()[7];
    EXPECT_EQ(prefix(keys(t), 12),
              (std::vector<std::string>{"id", "title", "artist", "album", "genre", "key", "bpm",
                                        "duration", "path", "analysisPath", "grid", "cues"}));
    const test::ExpectedTrack& e = generated.tracks[7];
    EXPECT_EQ(t.find("id")->asInteger(), 8);
    EXPECT_EQ(t.find("title")->asString(), e.title);
    EXPECT_EQ(t.find("artist")->asString(), e.artist);
    EXPECT_EQ(t.find("path")->asString(), e.path);
    EXPECT_EQ(t.find("bpm")->asNumber(), e.bpm);
    EXPECT_EQ(t.find("duration")->asNumber(), e.duration);
    const JsonValue& grid = *t.find("grid");
    EXPECT_EQ(keys(grid), (std::vector<std::string>{"beats", "bpm", "constantTempo", "first"}));
    EXPECT_EQ(static_cast<std::size_t>(grid.find("beats")->asInteger()), e.beats.size());
    const JsonValue& first = *grid.find("first");
    ASSERT_EQ(first.items().size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(keys(first.items()[i]), (std::vector<std::string>{"time", "bpm", "beatInBar"}));
        EXPECT_NEAR(first.items()[i].find("time")->asNumber(), e.beats[i].time, 1e-9);
        EXPECT_EQ(first.items()[i].find("beatInBar")->asInteger(), e.beats[i].beatInBar);
    }
    const JsonValue& cues = *t.find("cues");
    ASSERT_EQ(cues.items().size(), e.cues.size());
    for (std::size_t i = 0; i < e.cues.size(); ++i) {
        const JsonValue& c = cues.items()[i];
        EXPECT_EQ(keys(c), (std::vector<std::string>{"kind", "number", "start", "end", "name"}));
        EXPECT_EQ(c.find("kind")->asInteger(), e.cues[i].kind);
        EXPECT_EQ(c.find("number")->asInteger(), e.cues[i].number);
        EXPECT_EQ(c.find("end")->asNumber(), e.cues[i].end);
        EXPECT_EQ(c.find("name")->asString(), e.cues[i].name);
    }

    // The tree: each node {"name","folder","entries","children"}, entries = its track count.
    const JsonValue& root = *doc.find("playlistTree");
    EXPECT_EQ(keys(root), (std::vector<std::string>{"name", "folder", "entries", "children"}));
    EXPECT_EQ(root.find("name")->asString(), "ROOT");
    std::vector<std::pair<const JsonValue*, const test::ExpectedNode*>> work{
        {&root, &generated.root}};
    std::size_t playlists = 0;
    while (!work.empty()) {
        const auto [node, want] = work.back();
        work.pop_back();
        ASSERT_EQ(node->find("name")->asString(), want->name);
        ASSERT_EQ(node->find("folder")->asBool(), want->folder);
        ASSERT_EQ(static_cast<std::size_t>(node->find("entries")->asInteger()),
                  want->tracks.size());
        if (!want->folder) ++playlists;
        const auto& children = node->find("children")->items();
        ASSERT_EQ(children.size(), want->children.size());
        for (std::size_t i = 0; i < children.size(); ++i)
            work.emplace_back(&children[i], &want->children[i]);
    }
    EXPECT_EQ(playlists, generated.playlists);
}

TEST(LibraryTool, SummaryAndSingleTrack) {
    const std::string dir = test::scratchDir("tool-xml-summary");
    const test::ExpectedCollection generated = test::generateXmlCollection(12, 5, "/music");
    ASSERT_TRUE(writeFileAtomically(dir + "/c.xml", generated.xml, nullptr));

    auto p = libraryXml("--summary " + quoted(dir + "/c.xml"));
    ASSERT_EQ(p.exitCode, 0) << p.err;
    JsonParseResult json = parseJson(p.out);
    ASSERT_TRUE(json.ok);
    EXPECT_EQ(json.value.find("trackCount")->asInteger(), 12);
    EXPECT_EQ(json.value.find("tracks"), nullptr);
    EXPECT_EQ(json.value.find("playlistTree"), nullptr);
    const JsonValue* counts = json.value.find("counts");
    ASSERT_NE(counts, nullptr);
    EXPECT_EQ(counts->find("missingFiles")->asInteger(), 12);
    EXPECT_EQ(static_cast<std::size_t>(counts->find("playlists")->asInteger()),
              generated.playlists);

    p = libraryXml("--track 3 " + quoted(dir + "/c.xml"));
    ASSERT_EQ(p.exitCode, 0) << p.err;
    json = parseJson(p.out);
    ASSERT_TRUE(json.ok);
    EXPECT_EQ(json.value.find("id")->asInteger(), 3);
    EXPECT_EQ(json.value.find("title")->asString(), generated.tracks[2].title);

    p = libraryXml("--track 13 " + quoted(dir + "/c.xml"));
    EXPECT_EQ(p.exitCode, 1);
    EXPECT_EQ(p.err, "vyn-tool library: no track with id 13\n");
    EXPECT_TRUE(p.out.empty());
}

TEST(LibraryTool, FailuresPrintTheImportMessage) {
    const std::string dir = test::scratchDir("tool-xml-bad");
    auto p = libraryXml(quoted(dir + "/none.xml"));
    EXPECT_EQ(p.exitCode, 1);
    EXPECT_EQ(p.err, "could not open " + dir + "/none.xml\n");
    EXPECT_TRUE(p.out.empty());

    std::ofstream(dir + "/bad.xml") << "<DJ_PLAYLISTS><COLLECTION><TRACK Name=\"x></DJ_PLAYLISTS>";
    p = libraryXml(quoted(dir + "/bad.xml"));
    EXPECT_EQ(p.exitCode, 1);
    EXPECT_EQ(p.err, "XML parse error: malformed attributes in <TRACK>\n");

    std::ofstream(dir + "/other.xml") << "<plist><dict/></plist>";
    p = libraryXml(quoted(dir + "/other.xml"));
    EXPECT_EQ(p.exitCode, 1);
    EXPECT_EQ(p.err, "not a rekordbox XML file (no DJ_PLAYLISTS element)\n");
}

TEST(LibraryTool, UsageErrors) {
    const std::string tool = test::builtExecutable("vyn-tool");
    for (const char* args : {"library", "library bogus x", "library xml", "library xml a b",
                             "library xml --track 0 a", "library xml --track",
                             "library xml "
                             "--summary --track 2 a"}) {
        SCOPED_TRACE(args);
        const auto p = test::runProcess(tool + " " + args);
        EXPECT_EQ(p.exitCode, 2);
        EXPECT_NE(p.err.find("usage: vyn-tool library xml"), std::string::npos) << p.err;
    }
}

TEST(LibraryTool, RealCollection) {
    const std::string root = test::rekordboxFixtures();
    if (root.empty()) GTEST_SKIP() << "the shared rekordbox fixtures are not present";
    const auto p = libraryXml(quoted(root + "/xml/collection-a.xml"));
    ASSERT_EQ(p.exitCode, 0) << p.err;
    const JsonParseResult json = parseJson(p.out);
    ASSERT_TRUE(json.ok);
    const auto& tracks = json.value.find("tracks")->items();
    ASSERT_EQ(tracks.size(), 6u);
    const JsonValue& two = tracks[5];
    EXPECT_EQ(two.find("title")->asString(), "Demo Track 2");
    EXPECT_EQ(two.find("grid")->find("beats")->asInteger(), 256);
    EXPECT_EQ(two.find("grid")->find("first")->items()[1].find("time")->asNumber(), 0.525);
    EXPECT_EQ(json.value.find("report")->asString(),
              "Imported 6 tracks, 2 with grids, 2 playlists. 6 files were missing.");
}

} // namespace
} // namespace vyn
