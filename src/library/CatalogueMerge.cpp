#include "library/CatalogueMerge.h"

#include "library/LockTurns.h"

#include <mutex>
#include <string>
#include <utility>

namespace vyn {

std::vector<std::uint32_t> addTracksInTurns(Catalogue& catalogue,
                                            std::vector<CatalogueTrack>& records) {
    std::vector<std::uint32_t> ids(records.size());
    std::size_t searchBytes = 0;
    for (const CatalogueTrack& r : records)
        searchBytes += Catalogue::searchBytes(r);
    std::size_t tracks = 0, current = 0;
    {
        std::lock_guard<std::mutex> lock(catalogue.mutex());
        tracks = catalogue.size();
        current = catalogue.searchTextSize();
    }
    Catalogue::Room room = Catalogue::makeRoom(tracks + records.size(), current + searchBytes);
    {
        std::lock_guard<std::mutex> lock(catalogue.mutex());
        catalogue.reserve(room);
    } // the old buffers, now in `room`, are freed at the end, without the lock
    forEachInLockTurns(catalogue.mutex(), records.size(),
                       [&](std::size_t i) { ids[i] = catalogue.addTrack(std::move(records[i])); });
    return ids;
}

} // namespace vyn
