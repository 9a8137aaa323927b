// The collection import on any bytes: a failed import leaves the catalogue as it was; an
// accepted one has finite grids in time order within their cap, cues at real times, a playlist
// tree no deeper than the limit, and playlists that name only catalogue tracks.

#include "FuzzTarget.h"
#include "library/Catalogue.h"
#include "library/XmlImport.h"

#include <cmath>
#include <mutex>

namespace {

std::size_t depth(const vyn::PlaylistNode& node, std::size_t catalogueSize) {
    std::size_t deepest = 0;
    for (std::uint32_t id : node.trackIds)
        vyn::fuzz::require(id >= 1 && id <= catalogueSize, "playlists name catalogue tracks");
    for (const vyn::PlaylistNode& child : node.children)
        deepest = std::max(deepest, depth(child, catalogueSize));
    return deepest + 1;
}

} // namespace

VYN_FUZZ_TARGET(xml_import) {
    const char* text = reinterpret_cast<const char*>(data);
    const vyn::XmlImportResult parsed = vyn::parseXmlCollection(text, size);
    vyn::Catalogue catalogue;
    const vyn::ImportResult imported = vyn::importXmlCollection(catalogue, text, size);
    vyn::fuzz::require(imported.ok == parsed.ok, "importing succeeds exactly when parsing does");
    std::lock_guard<std::mutex> lock(catalogue.mutex());
    if (!imported.ok) {
        vyn::fuzz::require(catalogue.size() == 0 && !imported.error.empty(),
                           "a failed import says why and changes nothing");
        return;
    }
    for (const vyn::CatalogueTrack& t : catalogue.tracks()) {
        vyn::fuzz::require(t.grid.beats.size() <= vyn::kMaxGridBeats, "grids stay within the cap");
        double previous = -INFINITY;
        for (const vyn::GridBeat& b : t.grid.beats) {
            vyn::fuzz::require(std::isfinite(b.time) && std::isfinite(b.bpm) && b.bpm > 0.0,
                               "grid beats are finite with a tempo");
            vyn::fuzz::require(b.time > previous, "grid beats run forward in time");
            previous = b.time;
        }
        for (const vyn::CueMark& c : t.cues)
            vyn::fuzz::require(std::isfinite(c.start) && std::isfinite(c.end),
                               "cue times are finite");
    }
    vyn::fuzz::require(depth(catalogue.root(), catalogue.size()) <= vyn::kMaxPlaylistDepth + 1,
                       "the playlist tree stays within the depth limit");
}
