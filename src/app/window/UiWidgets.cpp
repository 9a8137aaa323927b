#include "app/window/UiWidgets.h"
#include "app/UiMap.h"
#include "app/window/Theme.h"

#include <cstdio>

namespace vyn {

void mapLastItem(UiMap& map, int id, std::string_view label) {
    if (!map.enabled()) return;
    const ImVec2 min = ImGui::GetItemRectMin();
    const ImVec2 size = ImGui::GetItemRectSize();
    map.control(id, min.x, min.y, size.x, size.y, label);
}

bool mappedButton(UiMap& map, int id, const char* label, const ButtonStyle& style) {
    char imguiId[160];
    std::snprintf(imguiId, sizeof imguiId, "%s###%d", label, id);
    int colours = 0;
    if (style.selected) {
        ImGui::PushStyleColor(ImGuiCol_Button, Theme::kAccentDim);
        ImGui::PushStyleColor(ImGuiCol_ButtonHovered, Theme::kAccent);
        colours = 2;
    }
    if (!style.enabled) ImGui::BeginDisabled();
    const bool clicked = ImGui::Button(imguiId, style.size);
    if (!style.enabled) ImGui::EndDisabled();
    ImGui::PopStyleColor(colours);
    mapLastItem(map, id, label);
    return clicked && style.enabled;
}

bool mappedCheckbox(UiMap& map, int id, const char* label, bool* value) {
    char imguiId[160];
    std::snprintf(imguiId, sizeof imguiId, "%s###%d", label, id);
    const bool changed = ImGui::Checkbox(imguiId, value);
    mapLastItem(map, id, label);
    return changed;
}

} // namespace vyn
