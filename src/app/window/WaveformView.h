#pragma once
// The deck panel's waveform views: the detail view that scrolls with the playhead (beat grid, bar
// lines, hot cues, memory cues, the main cue and the active loop drawn over the coloured
// waveform, time labels along its edge) and the overview of the whole track that shows the
// played part.
//
// Threading: user-interface thread only, between ImGui::NewFrame and ImGui::Render.

#include "app/PanelGrid.h"
#include "dsp/Waveform.h"

#include <imgui.h>

#include <cstddef>
#include <memory>

namespace vyn {

struct DeckSnapshot;
struct DeckView;
struct Theme;

struct WaveAxis {
    bool vertical = false;
    bool forward = true; // horizontal: time runs to the right; vertical: time runs upwards
};

void drawDetailWaveform(ImDrawList& draw, const Theme& theme, Rect area, WaveAxis axis,
                        const DeckSnapshot& deck, const DeckView& view, double spanSeconds);

// The whole track squeezed into `area`, reduced once per track and size.
class OverviewCache {
public:
    const Waveform& columnsFor(const std::shared_ptr<const Waveform>& waveform, std::size_t count);

private:
    std::shared_ptr<const Waveform> source_;
    std::size_t count_ = 0;
    Waveform reduced_;
};

void drawOverview(ImDrawList& draw, Rect area, WaveAxis axis, const DeckSnapshot& deck,
                  const DeckView& view, OverviewCache& cache);
// The fraction of the track under a point of the overview (for a click), 0..1.
double overviewFraction(Rect area, WaveAxis axis, float x, float y);

} // namespace vyn
