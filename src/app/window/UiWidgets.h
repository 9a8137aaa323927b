#pragma once
// Buttons, toggles and texts that also list themselves in the UI map with their identifier,
// their position in client pixels and the label shown.
//
// Threading: user-interface thread only, between ImGui::NewFrame and ImGui::Render.

#include <imgui.h>

#include <functional>
#include <string>
#include <string_view>

namespace vyn {

class UiMap;

struct ButtonStyle {
    ImVec2 size{0, 0};
    bool selected = false; // drawn in the accent colour (a chosen layout, a running mode)
    bool enabled = true;
};

// An ImGui button "label###id" (the id alone names it, so a press survives a changing label);
// true when clicked.
bool mappedButton(UiMap& map, int id, const char* label, const ButtonStyle& style = {});
// Lists the last item as control `id` with `label`.
void mapLastItem(UiMap& map, int id, std::string_view label);
// A check box; true when toggled.
bool mappedCheckbox(UiMap& map, int id, const char* label, bool* value);
// A drop-down of `count` items named by `item`, listed as control `id` with the chosen item as
// its label; while open, each visible item i below `itemIdCount` is listed as itemBaseId + i.
// True when the choice changed.
bool mappedCombo(UiMap& map, int id, int itemBaseId, int itemIdCount, float width, int* current,
                 int count, const std::function<std::string(int)>& item);

} // namespace vyn
