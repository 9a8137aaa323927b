#pragma once
// What asks the loader for stems. A DJ switches stems on for a deck from any surface (the panel's
// STEMS button, a controller's `stems` action, the page's stem controls): every one of them only
// sends SET_STEMS, and the application sees the switch in the published deck state. Stems switched
// on for a deck whose track has none submit the deck's stem job; a switch from off to on counts as
// a fresh request and retries a job that failed, while a deck that stays on is asked again at each
// slow refresh (a new track, or a load that was still on its way). A newer load cancels the job in
// the loader.
//
// Threading: user-interface thread only.

#include "engine/Command.h"
#include "engine/EngineSnapshot.h"
#include "engine/TrackLoader.h"

#include <array>

namespace vyn {

struct StemCacheSettings;
struct WindowSettings;

class StemRequests {
public:
    // Every refresh with the snapshot just read; `slowPass` on the 100 ms refresh.
    void observe(const EngineSnapshot& snapshot, TrackLoader& loader, bool slowPass);

    // The stem cache and the stem setting from the user's settings: the cache folder under the
    // user's cache folder unless the byte budget is 0 (caching off); every load split when
    // stemsOnLoad is set.
    static StemCacheSettings cacheSettings(const WindowSettings& settings,
                                           const std::string& cacheFolder);
    static void apply(const WindowSettings& settings, const std::string& cacheFolder,
                      TrackLoader& loader);

private:
    std::array<bool, kDeckCount> wasOn_{};
};

} // namespace vyn
