#pragma once
// The JSON form of the catalogue that vyn-tool prints for every library source (XML collection,
// stick export) and that the analysis dump shares for grids and cues. The key order is part of
// the interface.

#include "engine/BeatGrid.h"
#include "library/Catalogue.h"
#include "library/ImportCounts.h"
#include "support/JsonWriter.h"

#include <vector>

namespace vyn::tool {

// "counts" and "report" members of the open object.
void writeCounts(JsonWriter& w, const ImportCounts& counts);
void writeNode(JsonWriter& w, const PlaylistNode& node);
// {"beats", "bpm", "constantTempo", "first": the first eight beats}
void writeGrid(JsonWriter& w, const BeatGrid& grid);
// [{"kind", "number", "start", "end", "name"}]
void writeCues(JsonWriter& w, const std::vector<CueMark>& cues);
void writeTrack(JsonWriter& w, const CatalogueTrack& track);

// Prints the whole catalogue ({"trackCount", "playlistTree", "tracks", "counts", "report"}), only
// its counts (`summary`), or one track (`trackId` > 0) to standard output. Takes the catalogue
// lock. Returns the exit code: 1 for an unknown track or an output error.
int printLibraryDump(const Catalogue& catalogue, const ImportCounts& counts, bool summary,
                     int trackId);

} // namespace vyn::tool
