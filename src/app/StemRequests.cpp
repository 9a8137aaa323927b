#include "app/StemRequests.h"

#include "app/WindowSettings.h"
#include "dsp/StemCache.h"

namespace vyn {

void StemRequests::observe(const EngineSnapshot& snapshot, TrackLoader& loader, bool slowPass) {
    for (int d = 0; d < kDeckCount; ++d) {
        const DeckSnapshot& s = snapshot.decks[d];
        const bool on = s.stemsOn;
        const bool switchedOn = on && !wasOn_[static_cast<std::size_t>(d)];
        wasOn_[static_cast<std::size_t>(d)] = on;
        if (!on || s.stemsAvailable || s.state == static_cast<std::uint8_t>(DeckState::EMPTY))
            continue;
        if (switchedOn || slowPass) loader.requestStems(d, switchedOn);
    }
}

StemCacheSettings StemRequests::cacheSettings(const WindowSettings& settings,
                                              const std::string& cacheFolder) {
    StemCacheSettings c;
    // A byte budget of 0 would mean "no limit" to the cache itself; the setting means "off".
    if (settings.stemCacheBytes > 0 && !cacheFolder.empty()) c.folder = cacheFolder + "/stems";
    c.byteBudget = settings.stemCacheBytes;
    c.fileBudget = settings.stemCacheFiles;
    return c;
}

void StemRequests::apply(const WindowSettings& settings, const std::string& cacheFolder,
                         TrackLoader& loader) {
    setStemCacheSettings(cacheSettings(settings, cacheFolder));
    loader.setStemSetting(settings.stemsOnLoad ? 2 : 1);
}

} // namespace vyn
