#pragma once
// The importers' last step: their records go into the catalogue in lock turns (LockTurns.h), so
// a large import never keeps the window from browsing for more than about a millisecond.
// Browsing meanwhile may see some of the new tracks before the rest; ids never change, so
// nothing it holds goes stale.
//
// Threading: any thread; the caller must not hold the catalogue lock.

#include "library/Catalogue.h"

#include <cstdint>
#include <vector>

namespace vyn {

// Adds every record (identity rules of Catalogue::addTrack) and returns their ids in order. The
// records are moved from.
std::vector<std::uint32_t> addTracksInTurns(Catalogue& catalogue,
                                            std::vector<CatalogueTrack>& records);

} // namespace vyn
