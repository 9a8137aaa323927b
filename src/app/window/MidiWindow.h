#pragma once
// The MIDI tool window (toolbar "MIDI"): the learn selectors and buttons, the preset selector,
// the bindings of the controller that sent the last message and the live monitor, all from
// MidiWindowModel. UI map identifiers 1400-1499.
//
// Threading: user-interface thread only.

#include "app/window/ToolWindow.h"

namespace vyn {

namespace midi_window_id {
inline constexpr int ACTION = 1400;
inline constexpr int MODE = 1401;
inline constexpr int SLOT = 1402;
inline constexpr int SHIFT = 1403;
inline constexpr int LEARN = 1404;
inline constexpr int PRESET = 1405;
inline constexpr int LOAD_PRESET = 1406;
inline constexpr int CLEAR = 1407;
inline constexpr int REMOVE = 1408;
inline constexpr int CLOCK = 1409;
inline constexpr int STATUS = 1410;      // text
inline constexpr int MESSAGE = 1411;     // text
inline constexpr int MONITOR_TOP = 1412; // text: the newest monitor row, "port | message | bytes"
inline constexpr int ROW_BASE = 1420;    // bindings rows 0-29: "address | action | detail"
inline constexpr int ROW_IDS = 30;
inline constexpr int ITEM_BASE = 1450; // items 0-49 of the open drop-down
inline constexpr int ITEM_IDS = 50;
} // namespace midi_window_id

class MidiWindow final : public ToolWindow {
public:
    int toolbarId() const override;
    const char* title() const override;
    ImVec2 defaultSize() const override { return ImVec2(620, 700); }
    void draw(UiContext& ui) override;
    void onClose(Application& app) override;

private:
    int selectedRow_ = -1;
    int preset_ = 0;
    bool presetsRead_ = false;
};

} // namespace vyn
