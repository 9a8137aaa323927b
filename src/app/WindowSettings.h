#pragma once
// The window's persisted choices, read from the settings store with their defaults and clamps,
// and the rule that sizes the deck grid to a multichannel device.
//
// Threading: user-interface thread only.

#include "engine/SoundOptions.h"

#include <cstdint>
#include <string>

namespace vyn {

class SettingsStore;

// The settings' value names, shared with the Windows registry values.
namespace setting_names {
inline constexpr const char* kVisibleDecks = "visibleDecks";
inline constexpr const char* kLayout = "layout";
inline constexpr const char* kTimeH = "timeH";
inline constexpr const char* kTimeV = "timeV";
inline constexpr const char* kChromeAtStart = "chromeAtStart";
inline constexpr const char* kWorkspace = "workspace";
inline constexpr const char* kUpdateSeen = "updateSeen";
inline constexpr const char* kKeylockQuality = "keylockQuality";
inline constexpr const char* kEqType = "eqType";
inline constexpr const char* kInterpolation = "interpolation";
inline constexpr const char* kLastFolder = "lastFolder";
inline constexpr const char* kStemsOnLoad = "stemsOnLoad";
inline constexpr const char* kStemCacheBytes = "stemCacheBytes";
inline constexpr const char* kStemCacheFiles = "stemCacheFiles";
} // namespace setting_names

enum class PanelLayout { Grid = 0, Rows = 1, Columns = 2 };

struct WindowSettings {
    static constexpr int kMaxPanels = 8;

    int visibleDecks = 4;
    PanelLayout layout = PanelLayout::Grid;
    bool timeH = true;          // horizontal waveforms: time runs to the right
    bool timeV = true;          // vertical waveforms: time runs upwards
    bool chromeAtStart = false; // panel controls on the left
    bool setPlanWorkspace = false;
    std::string updateSeen;
    SoundOptions sound;
    std::string lastFolder;                    // the file browser's last folder
    bool stemsOnLoad = false;                  // every load is split into stems
    std::uint64_t stemCacheBytes = 8ull << 30; // the stem cache's budget; 0 turns caching off
    std::uint32_t stemCacheFiles = 64;         // 0: no file limit

    // Every value present in `store`, clamped; defaults for the rest.
    static WindowSettings read(const SettingsStore& store);
};

// Decks shown at start for a device with `channels` outputs: one panel per output pair (1..8)
// when the device has 8 or more channels, else `current`.
int decksForDevice(int channels, int current);

} // namespace vyn
