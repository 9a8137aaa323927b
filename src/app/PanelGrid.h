#pragma once
// How the three layouts divide the deck area among the visible panels, and how a panel divides
// itself between its waveform and its controls.

#include "app/WindowSettings.h"

#include <vector>

namespace vyn {

struct Rect {
    float x = 0, y = 0, w = 0, h = 0;
    bool contains(float px, float py) const {
        return px >= x && py >= y && px < x + w && py < y + h;
    }
};

// Grid: as square as the area allows (two columns up to four panels, then four columns in two
// rows); rows: panels stacked full width; columns: panels side by side full height. `gap` pixels
// between panels. One rectangle per panel position, in reading order.
std::vector<Rect> panelRects(PanelLayout layout, int count, Rect area, float gap);

// The parts of `area` that no rectangle of `covered` overlaps, as disjoint rectangles (horizontal
// bands, left to right within each). The window paints its background only there: the panel
// colour is the cheap full-window clear, and with software OpenGL each pixel painted twice costs.
std::vector<Rect> uncoveredRects(Rect area, const std::vector<Rect>& covered);

// Waveforms run vertically in panels much taller than wide.
inline bool verticalPanel(const Rect& r) {
    return r.h > r.w * 1.3f;
}

} // namespace vyn
