#include "app/WindowSettings.h"

#include "support/SettingsStore.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace vyn {
namespace {

// A whole decimal number up to `max`; `fallback` when unset, malformed or larger.
std::uint64_t unsignedValue(const SettingsStore& store, const char* key, std::uint64_t fallback,
                            std::uint64_t max) {
    const std::optional<std::string> text = store.text(key);
    if (!text || text->empty()) return fallback;
    std::uint64_t v = 0;
    const char* end = text->data() + text->size();
    const auto [p, ec] = std::from_chars(text->data(), end, v);
    return ec == std::errc() && p == end && v <= max ? v : fallback;
}

} // namespace

WindowSettings WindowSettings::read(const SettingsStore& store) {
    namespace n = setting_names;
    WindowSettings s;
    s.visibleDecks = std::clamp(store.integer(n::kVisibleDecks, s.visibleDecks), 1, kMaxPanels);
    const int layout = store.integer(n::kLayout, 0);
    s.layout = layout == 1   ? PanelLayout::Rows
               : layout == 2 ? PanelLayout::Columns
                             : PanelLayout::Grid;
    s.timeH = store.integer(n::kTimeH, 1) != 0;
    s.timeV = store.integer(n::kTimeV, 1) != 0;
    s.chromeAtStart = store.integer(n::kChromeAtStart, 0) != 0;
    s.setPlanWorkspace = store.integer(n::kWorkspace, 0) != 0;
    s.updateSeen = store.text(n::kUpdateSeen).value_or(std::string());
    s.sound.keylockQuality = std::clamp(store.integer(n::kKeylockQuality, 0), 0, 1);
    s.sound.eqType = std::clamp(store.integer(n::kEqType, 0), 0, 1);
    s.sound.interpolation = std::clamp(store.integer(n::kInterpolation, 0), 0, 1);
    s.lastFolder = store.text(n::kLastFolder).value_or(std::string());
    s.stemsOnLoad = store.integer(n::kStemsOnLoad, 0) != 0;
    s.stemCacheBytes = unsignedValue(store, n::kStemCacheBytes, s.stemCacheBytes,
                                     std::numeric_limits<std::uint64_t>::max());
    s.stemCacheFiles = static_cast<std::uint32_t>(unsignedValue(
        store, n::kStemCacheFiles, s.stemCacheFiles, std::numeric_limits<std::uint32_t>::max()));
    return s;
}

int decksForDevice(int channels, int current) {
    if (channels < 8) return current;
    return std::clamp(channels / 2, 1, WindowSettings::kMaxPanels);
}

} // namespace vyn
