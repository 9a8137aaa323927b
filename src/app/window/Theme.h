#pragma once
// The house style: dark panels for a dim booth, green accents, large deck numbers; fonts and
// sizes scaled with the window's size and the display's DPI.
//
// Threading: user-interface thread only; setScale() between frames (it rebuilds the font atlas).

#include <imgui.h>

namespace vyn {

struct Theme {
    // Colours.
    static constexpr ImU32 kBackground = IM_COL32(14, 16, 18, 255);
    static constexpr ImU32 kPanel = IM_COL32(24, 27, 30, 255);
    static constexpr ImU32 kPanelEdge = IM_COL32(44, 50, 54, 255);
    static constexpr ImU32 kWaveBack = IM_COL32(6, 8, 9, 255);
    static constexpr ImU32 kAccent = IM_COL32(46, 204, 113, 255);
    static constexpr ImU32 kAccentDim = IM_COL32(30, 120, 70, 255);
    static constexpr ImU32 kText = IM_COL32(226, 232, 228, 255);
    static constexpr ImU32 kTextDim = IM_COL32(140, 150, 146, 255);
    static constexpr ImU32 kPlayhead = IM_COL32(255, 255, 255, 255);
    static constexpr ImU32 kBeat = IM_COL32(255, 255, 255, 46);
    static constexpr ImU32 kBar = IM_COL32(255, 255, 255, 120);
    static constexpr ImU32 kLoop = IM_COL32(46, 204, 113, 56);
    static constexpr ImU32 kLoopEdge = IM_COL32(46, 204, 113, 220);
    static constexpr ImU32 kMemoryCue = IM_COL32(230, 60, 60, 255);
    static constexpr ImU32 kMainCue = IM_COL32(255, 170, 40, 255);
    static constexpr ImU32 kLevelOrange = IM_COL32(255, 160, 40, 255);
    static constexpr ImU32 kLevelRed = IM_COL32(255, 64, 64, 255);
    static constexpr ImU32 kMessage = IM_COL32(255, 200, 90, 255);
    static ImU32 hotCueColour(int slot);

    float scale = 1.0f;      // 1.0 at 1360 x 860 on a 96 DPI display
    ImFont* body = nullptr;  // labels and buttons
    ImFont* large = nullptr; // deck numbers and the play state
    ImFont* small = nullptr; // badges, time labels

    // Sets colours and spacing and builds the fonts at `scale`; true when the atlas changed (the
    // renderer's font texture must then be rebuilt).
    bool setScale(float newScale);
    // Scale for a window of width x height on a display of `dpi` dots per inch.
    static float scaleFor(int width, int height, float dpi);
    float px(float basePixels) const { return basePixels * scale; }
};

} // namespace vyn
