#pragma once
// The Resolume tool window (toolbar "VJ"): the OSC destination and options, the MIDI clock's
// output, Start/Stop and the status line, all from ResolumeControl. UI map identifiers 1500-1599.
//
// Threading: user-interface thread only.

#include "app/window/ToolWindow.h"

namespace vyn {

namespace resolume_window_id {
inline constexpr int HOST = 1500;
inline constexpr int PORT = 1501;
inline constexpr int CUES_TO_COLUMNS = 1502;
inline constexpr int CUES_TO_CLIPS = 1503;
inline constexpr int RESYNC_EVERY_BAR = 1504;
inline constexpr int PAUSE = 1505;
inline constexpr int SEND_MIDI_CLOCK = 1506;
inline constexpr int START_STOP = 1507;
inline constexpr int STATUS = 1510;      // text
inline constexpr int MESSAGE = 1511;     // text
inline constexpr int EXPLANATION = 1512; // text
inline constexpr int OUTPUT_BASE = 1520; // MIDI output rows 0-29
inline constexpr int OUTPUT_IDS = 30;
} // namespace resolume_window_id

class ResolumeWindow final : public ToolWindow {
public:
    int toolbarId() const override;
    const char* title() const override;
    ImVec2 defaultSize() const override { return ImVec2(520, 560); }
    void draw(UiContext& ui) override;
    void onClose(Application&) override { outputsRead_ = false; }

private:
    bool outputsRead_ = false;
};

} // namespace vyn
