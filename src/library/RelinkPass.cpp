#include "library/RelinkPass.h"

#include "library/Catalogue.h"
#include "library/LockTurns.h"
#include "library/MissingTracks.h"
#include "library/RelinkIndex.h"

#include <utility>

namespace vyn {
namespace {

struct TrackPaths {
    std::uint32_t id = 0;
    std::string path;
    std::string relinked; // as the pass leaves it
    bool local = true;    // no source id: may be relinked
    bool missing = false;
};

void pass(std::vector<TrackPaths>& tracks, RelinkIndex& index, RelinkResult& result) {
    result.relinked = result.missing = result.fine = 0;
    for (TrackPaths& t : tracks) {
        t.missing = false;
        const std::string& effective = t.relinked.empty() ? t.path : t.relinked;
        if (Catalogue::fileExists(effective)) {
            ++(t.relinked.empty() ? result.fine : result.relinked);
            continue;
        }
        if (!t.local) continue;
        t.relinked = index.findReplacement(t.path);
        if (t.relinked == t.path) t.relinked.clear(); // it exists at its own path after all
        if (!t.relinked.empty()) {
            ++result.relinked;
        } else if (Catalogue::fileExists(t.path)) {
            ++result.fine;
        } else {
            t.missing = true;
            ++result.missing;
        }
    }
}

} // namespace

RelinkResult relinkCatalogue(Catalogue& catalogue, MissingTracks& missing, RelinkIndex& index,
                             bool scanAllowed, const std::atomic<bool>* cancel) {
    std::size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(catalogue.mutex());
        count = catalogue.size();
    }
    std::vector<TrackPaths> tracks(count);
    forEachInLockTurns(catalogue.mutex(), count, [&](std::size_t i) {
        const CatalogueTrack& t = catalogue.tracks()[i];
        tracks[i].id = t.id;
        tracks[i].path = t.path;
        tracks[i].relinked = t.relinkedPath;
        tracks[i].local = t.sourceId.empty();
    });

    RelinkResult result;
    pass(tracks, index, result);
    if (result.missing > 0 && scanAllowed && index.indexedFiles() == 0) {
        index.scan(RelinkIndex::kScanLimit, cancel);
        pass(tracks, index, result);
    }
    result.folders = index.folders();

    std::vector<std::uint32_t> missingIds;
    for (const TrackPaths& t : tracks)
        if (t.missing) missingIds.push_back(t.id);
    // Only library jobs change the catalogue and this is one, so the tracks are as copied; the
    // path is compared all the same, so a result never lands on another file's track.
    forEachInLockTurns(catalogue.mutex(), count, [&](std::size_t i) {
        const TrackPaths& t = tracks[i];
        const CatalogueTrack* now = catalogue.trackById(t.id);
        if (now && now->path == t.path && now->relinkedPath != t.relinked)
            catalogue.setRelinkedPath(t.id, t.relinked);
    });
    {
        std::lock_guard<std::mutex> lock(catalogue.mutex());
        missing.assign(std::move(missingIds));
    }
    return result;
}

std::string relinkReport(const RelinkResult& result) {
    std::string s = "Relinked " + std::to_string(result.relinked) + " tracks";
    if (result.missing != 0) s += ", " + std::to_string(result.missing) + " still missing";
    return s;
}

} // namespace vyn
