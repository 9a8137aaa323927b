#pragma once
// Draws one deck panel: the header (large deck number, track, state, tempo, level, badges and the
// panel's message), the waveform views, the controls and the tempo slider, and turns clicks into
// Application calls.
//
// Threading: user-interface thread only, between ImGui::NewFrame and ImGui::Render.

#include "app/PanelGrid.h"
#include "app/window/WaveformView.h"

namespace vyn {

struct UiContext;

class DeckPanelView {
public:
    // The rounding of a panel's corners, in unscaled pixels.
    static constexpr float kCornerRadius = 6.0f;

    // Draws panel `panel` into `area`; true when its Load button was clicked. The panel's face
    // (Theme::kPanel) is already painted: the window clears to it and paints its background
    // around the panels.
    bool draw(UiContext& ui, int panel, Rect area);

private:
    void drawHeader(UiContext& ui, int panel, Rect area);
    bool drawControls(UiContext& ui, int panel, Rect area, int columns, float buttonHeight);
    void drawTempoSlider(UiContext& ui, int panel, Rect area);

    OverviewCache overview_;
};

} // namespace vyn
