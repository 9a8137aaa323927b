#include "library/CatalogueMerge.h"

#include "library/LockTurns.h"

#include <utility>

namespace vyn {

std::vector<std::uint32_t> addTracksInTurns(Catalogue& catalogue,
                                            std::vector<CatalogueTrack>& records) {
    std::vector<std::uint32_t> ids(records.size());
    forEachInLockTurns(catalogue.mutex(), records.size(),
                       [&](std::size_t i) { ids[i] = catalogue.addTrack(std::move(records[i])); });
    return ids;
}

} // namespace vyn
