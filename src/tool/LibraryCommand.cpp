// vyn-tool library xml|usb: imports a collection export or a USB stick into a fresh catalogue and
// prints it as one JSON object, so an import can be checked from outside (and a DJ can check a
// collection or a stick).

#include "library/Catalogue.h"
#include "library/UsbImport.h"
#include "library/XmlImport.h"
#include "support/JsonWriter.h"
#include "tool/LibraryJson.h"
#include "tool/ToolArgs.h"
#include "tool/ToolCommands.h"

#include <climits>
#include <cstdio>
#include <mutex>

namespace vyn::tool {
namespace {

constexpr const char* kUsage =
    "usage: vyn-tool library xml [--summary] [--track ID] FILE\n"
    "       vyn-tool library usb [--summary] [--track ID] [--analysis] STICK_ROOT\n";

} // namespace

void writeCounts(JsonWriter& w, const ImportCounts& c) {
    w.key("counts").beginObject();
    w.key("tracks").unsignedInteger(c.tracks);
    w.key("withGrids").unsignedInteger(c.withGrids);
    w.key("playlists").unsignedInteger(c.playlists);
    w.key("missingFiles").unsignedInteger(c.missingFiles);
    w.endObject();
    w.key("report").string(importReport(c));
}

// The import caps playlist nesting, so this recursion is bounded.
void writeNode(JsonWriter& w, const PlaylistNode& node) {
    w.beginObject();
    w.key("name").string(node.name);
    w.key("folder").boolean(node.folder);
    w.key("entries").unsignedInteger(node.trackIds.size());
    w.key("children").beginArray();
    for (const PlaylistNode& child : node.children)
        writeNode(w, child);
    w.endArray();
    w.endObject();
}

void writeGrid(JsonWriter& w, const BeatGrid& grid) {
    w.beginObject();
    w.key("beats").unsignedInteger(grid.beats.size());
    w.key("bpm").number(grid.bpm);
    w.key("constantTempo").boolean(grid.constantTempo);
    w.key("first").beginArray();
    for (std::size_t i = 0; i < grid.beats.size() && i < 8; ++i) {
        const GridBeat& b = grid.beats[i];
        w.beginObject();
        w.key("time").number(b.time);
        w.key("bpm").number(b.bpm);
        w.key("beatInBar").unsignedInteger(b.beatInBar);
        w.endObject();
    }
    w.endArray();
    w.endObject();
}

void writeCues(JsonWriter& w, const std::vector<CueMark>& cues) {
    w.beginArray();
    for (const CueMark& c : cues) {
        w.beginObject();
        w.key("kind").unsignedInteger(static_cast<unsigned>(c.kind));
        w.key("number").integer(c.number);
        w.key("start").number(c.start);
        w.key("end").number(c.end);
        w.key("name").string(c.name);
        w.endObject();
    }
    w.endArray();
}

void writeTrack(JsonWriter& w, const CatalogueTrack& t) {
    w.beginObject();
    w.key("id").unsignedInteger(t.id);
    w.key("title").string(t.title);
    w.key("artist").string(t.artist);
    w.key("album").string(t.album);
    w.key("genre").string(t.genre);
    w.key("key").string(t.key);
    w.key("bpm").number(t.bpm);
    w.key("duration").number(t.duration);
    w.key("path").string(t.path);
    w.key("analysisPath").string(t.analysisPath);
    w.key("grid");
    writeGrid(w, t.grid);
    w.key("cues");
    writeCues(w, t.cues);
    w.key("label").string(t.label);
    w.key("sampleRate").integer(t.sampleRate);
    w.key("bitRate").integer(t.bitRate);
    w.key("year").integer(t.year);
    w.key("rating").integer(t.rating);
    w.key("playCount").integer(t.playCount);
    w.key("displayName").string(Catalogue::displayName(t));
    w.key("startPosition").number(Catalogue::startPosition(t));
    w.endObject();
}

int printLibraryDump(const Catalogue& catalogue, const ImportCounts& counts, bool summary,
                     int trackId) {
    std::lock_guard<std::mutex> lock(catalogue.mutex());
    JsonWriter w;
    if (trackId > 0) {
        const CatalogueTrack* t = catalogue.trackById(static_cast<std::uint32_t>(trackId));
        if (!t) {
            std::fprintf(stderr, "vyn-tool library: no track with id %d\n", trackId);
            return 1;
        }
        writeTrack(w, *t);
    } else {
        w.beginObject();
        w.key("trackCount").unsignedInteger(catalogue.size());
        if (!summary) {
            w.key("playlistTree");
            writeNode(w, catalogue.root());
            w.key("tracks").beginArray();
            for (const CatalogueTrack& t : catalogue.tracks())
                writeTrack(w, t);
            w.endArray();
        }
        writeCounts(w, counts);
        w.endObject();
    }
    std::string out = w.take();
    out += '\n';
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
        std::fputs("vyn-tool library: could not write the output\n", stderr);
        return 1;
    }
    return 0;
}

namespace {

// Both sources print the same dump; only the stick takes --analysis.
int runDump(bool stick, int argc, char** argv) {
    ToolArgs args(argc, argv);
    bool summary = false;
    int trackId = 0;
    UsbImportOptions usbOptions;
    std::vector<std::string> positional;
    while (args.more()) {
        if (args.flag("--summary", summary)) continue;
        if (stick && args.flag("--analysis", usbOptions.readAnalysis)) continue;
        if (args.option("--track", trackId, 1, INT_MAX)) continue;
        if (args.failed()) break;
        positional.push_back(args.next());
    }
    if (args.failed() || positional.size() != 1 || (summary && trackId > 0)) {
        if (args.failed()) std::fprintf(stderr, "vyn-tool library: %s\n", args.error().c_str());
        if (summary && trackId > 0)
            std::fputs("vyn-tool library: --summary and --track exclude each other\n", stderr);
        std::fputs(kUsage, stderr);
        return 2;
    }
    Catalogue catalogue;
    const ImportResult result = stick ? importUsbStick(catalogue, positional[0], usbOptions)
                                      : importXmlFile(catalogue, positional[0]);
    if (!result.ok) {
        std::fprintf(stderr, "%s\n", result.error.c_str());
        return 1;
    }
    return printLibraryDump(catalogue, result.counts, summary, trackId);
}

} // namespace

int runLibrary(int argc, char** argv) {
    if (argc >= 1 && std::string(argv[0]) == "xml") return runDump(false, argc - 1, argv + 1);
    if (argc >= 1 && std::string(argv[0]) == "usb") return runDump(true, argc - 1, argv + 1);
    std::fputs(kUsage, stderr);
    return 2;
}

} // namespace vyn::tool
