#include "app/PanelGrid.h"

#include <algorithm>

namespace vyn {

std::vector<Rect> panelRects(PanelLayout layout, int count, Rect area, float gap) {
    count = std::clamp(count, 1, WindowSettings::kMaxPanels);
    int cols = 1;
    if (layout == PanelLayout::Columns)
        cols = count;
    else if (layout == PanelLayout::Grid)
        cols = count <= 2 ? count : count <= 4 ? 2 : (count + 1) / 2;
    const int rows = (count + cols - 1) / cols;
    const float w = std::max(0.0f, (area.w - gap * static_cast<float>(cols - 1)) / cols);
    const float h = std::max(0.0f, (area.h - gap * static_cast<float>(rows - 1)) / rows);
    std::vector<Rect> out;
    out.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const int r = i / cols;
        const int c = i % cols;
        out.push_back({area.x + static_cast<float>(c) * (w + gap),
                       area.y + static_cast<float>(r) * (h + gap), w, h});
    }
    return out;
}

} // namespace vyn
