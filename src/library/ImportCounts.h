#pragma once
// What an import into the catalogue reports, whichever source it read.

#include <cstdint>
#include <string>

namespace vyn {

struct ImportCounts {
    std::uint64_t tracks = 0;
    std::uint64_t withGrids = 0;
    std::uint64_t playlists = 0;
    std::uint64_t missingFiles = 0;
};

struct ImportResult {
    bool ok = false;
    std::string error;
    ImportCounts counts;
};

// "Imported N tracks, G with grids, P playlists." and, when files were missing,
// " M files were missing."
std::string importReport(const ImportCounts& counts);

} // namespace vyn
