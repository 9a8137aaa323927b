#include "app/WindowSettings.h"

#include "support/SettingsStore.h"

#include <algorithm>

namespace vyn {

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
    return s;
}

int decksForDevice(int channels, int current) {
    if (channels < 8) return current;
    return std::clamp(channels / 2, 1, WindowSettings::kMaxPanels);
}

} // namespace vyn
