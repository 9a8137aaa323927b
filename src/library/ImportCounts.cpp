#include "library/ImportCounts.h"

namespace vyn {

std::string importReport(const ImportCounts& counts) {
    std::string s = "Imported " + std::to_string(counts.tracks) + " tracks, " +
                    std::to_string(counts.withGrids) + " with grids, " +
                    std::to_string(counts.playlists) + " playlists.";
    if (counts.missingFiles != 0)
        s += " " + std::to_string(counts.missingFiles) + " files were missing.";
    return s;
}

} // namespace vyn
