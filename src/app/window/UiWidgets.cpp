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

bool mappedCombo(UiMap& map, int id, int itemBaseId, int itemIdCount, float width, int* current,
                 int count, const std::function<std::string(int)>& item) {
    const std::string shown = *current >= 0 && *current < count ? item(*current) : std::string();
    char imguiId[32];
    std::snprintf(imguiId, sizeof imguiId, "##combo%d", id);
    ImGui::SetNextItemWidth(width);
    bool changed = false;
    const bool open = ImGui::BeginCombo(imguiId, shown.c_str(), ImGuiComboFlags_HeightLarge);
    mapLastItem(map, id, shown);
    if (!open) return false;
    for (int i = 0; i < count; ++i) {
        const std::string label = item(i);
        ImGui::PushID(i);
        if (ImGui::Selectable(label.c_str(), i == *current) && i != *current) {
            *current = i;
            changed = true;
        }
        ImGui::PopID();
        if (i < itemIdCount && ImGui::IsItemVisible()) mapLastItem(map, itemBaseId + i, label);
    }
    ImGui::EndCombo();
    return changed;
}

} // namespace vyn
