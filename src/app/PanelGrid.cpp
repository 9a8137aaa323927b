#include "app/PanelGrid.h"

#include <algorithm>
#include <utility>

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

std::vector<Rect> uncoveredRects(Rect area, const std::vector<Rect>& covered) {
    const float right = area.x + area.w, bottom = area.y + area.h;
    std::vector<float> edges{area.y, bottom};
    for (const Rect& c : covered)
        for (float y : {c.y, c.y + c.h})
            if (y > area.y && y < bottom) edges.push_back(y);
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

    std::vector<Rect> out;
    std::vector<std::pair<float, float>> spans;
    for (std::size_t band = 0; band + 1 < edges.size(); ++band) {
        const float y0 = edges[band], y1 = edges[band + 1];
        spans.clear();
        for (const Rect& c : covered)
            if (c.y <= y0 && c.y + c.h >= y1 && c.w > 0)
                spans.emplace_back(std::max(c.x, area.x), std::min(c.x + c.w, right));
        std::sort(spans.begin(), spans.end());
        float x = area.x;
        for (const auto& [from, to] : spans) {
            if (from > x) out.push_back({x, y0, from - x, y1 - y0});
            x = std::max(x, to);
        }
        if (x < right) out.push_back({x, y0, right - x, y1 - y0});
    }
    return out;
}

} // namespace vyn
