#include "app/window/BrowseListView.h"

#include "app/UiMap.h"
#include "app/window/Theme.h"
#include "app/window/UiContext.h"
#include "app/window/UiWidgets.h"
#include "library/BrowseModel.h"

#include <string>

namespace vyn {
namespace {

void appendUtf8(std::string& out, unsigned c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool pressed(ImGuiKey key) {
    return ImGui::IsKeyPressed(ImGui::GetKeyIndex(key));
}

} // namespace

int drawJumpList(UiContext& ui, const BrowseModel& model, ListIds ids, int highlighted,
                 const ImVec2& size) {
    int clicked = kJumpNone;
    ImGui::BeginChild("##jump", size, true);
    int mapped = ids.first;
    auto item = [&](const std::string& label, int value, float indent) {
        if (indent > 0) ImGui::Indent(indent);
        const std::string id = label + "##jump" + std::to_string(value);
        if (ImGui::Selectable(id.c_str(), value == highlighted)) clicked = value;
        if (ImGui::IsItemVisible() && mapped <= ids.last) mapLastItem(ui.map, mapped++, label);
        if (indent > 0) ImGui::Unindent(indent);
    };
    item("All tracks", kJumpAllTracks, 0);
    for (const BrowseEntry& e : model.entries()) {
        if (e.index == 0) continue;
        const float indent = ui.theme.px(12) * static_cast<float>(e.depth - 1);
        item(e.name.empty() ? "(untitled)" : e.name, static_cast<int>(e.index), indent);
    }
    ImGui::EndChild();
    return clicked;
}

RowClick drawRowTable(UiContext& ui, const BrowseModel& model, ListIds ids,
                      const RowTableStyle& style, const ImVec2& size) {
    RowClick click;
    const auto& rows = model.rows();
    const int columns = style.mark ? 3 : 2;
    const ImGuiTableFlags flags = ImGuiTableFlags_ScrollY | ImGuiTableFlags_RowBg |
                                  ImGuiTableFlags_BordersOuter | ImGuiTableFlags_Resizable;
    if (!ImGui::BeginTable("##rows", columns, flags, size)) return click;
    ImGui::TableSetupScrollFreeze(0, 1);
    if (style.mark)
        ImGui::TableSetupColumn(style.markHeader, ImGuiTableColumnFlags_WidthFixed,
                                ui.theme.px(70));
    ImGui::TableSetupColumn("Title", ImGuiTableColumnFlags_WidthStretch, 0.55f);
    ImGui::TableSetupColumn("Detail", ImGuiTableColumnFlags_WidthStretch, 0.45f);
    ImGui::TableHeadersRow();

    int mapped = ids.first;
    int markMapped = style.markIds.first;
    const float rowHeight = ImGui::GetTextLineHeight() + 2.0f * ImGui::GetStyle().CellPadding.y;
    if (style.scrollToSelection && model.selected() >= 0) {
        // Keeps the selected row in view (the header row is frozen above the rows).
        const float y = static_cast<float>(model.selected()) * rowHeight;
        const float view = ImGui::GetWindowHeight() - 2.0f * rowHeight;
        const float scroll = ImGui::GetScrollY();
        if (y < scroll)
            ImGui::SetScrollY(y);
        else if (y + rowHeight > scroll + view)
            ImGui::SetScrollY(y + rowHeight - view);
    }
    ImGuiListClipper clipper;
    clipper.Begin(static_cast<int>(rows.size()), rowHeight);
    while (clipper.Step()) {
        for (int i = clipper.DisplayStart; i < clipper.DisplayEnd; ++i) {
            const BrowseRow& row = rows[static_cast<std::size_t>(i)];
            ImGui::TableNextRow();
            std::string mark;
            if (style.mark) {
                ImGui::TableNextColumn();
                mark = style.mark(i);
                ImGui::TextColored(ImGui::ColorConvertU32ToFloat4(Theme::kAccent), "%s",
                                   mark.c_str());
            }
            ImGui::TableNextColumn();
            const bool selected = style.selected ? style.selected(i) : i == model.selected();
            const ImU32 colour = row.missing                      ? Theme::kTextDim
                                 : row.kind == browse_row::kBack  ? Theme::kTextDim
                                 : row.kind != browse_row::kTrack ? Theme::kAccent
                                                                  : Theme::kText;
            ImGui::PushStyleColor(ImGuiCol_Text, colour);
            const std::string id = row.text + "##row" + std::to_string(i);
            if (ImGui::Selectable(id.c_str(), selected,
                                  ImGuiSelectableFlags_SpanAllColumns |
                                      ImGuiSelectableFlags_AllowDoubleClick)) {
                const ImGuiIO& io = ImGui::GetIO();
                click.row = i;
                click.doubleClick =
                    ui.doubleClick || ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left);
                click.ctrl = io.KeyCtrl;
                click.shift = io.KeyShift;
            }
            const bool visible = ImGui::IsItemVisible();
            if (visible && mapped <= ids.last) {
                mapLastItem(ui.map, mapped, row.text);
                if (ui.map.enabled()) ui.map.text(mapped, row.detail);
                ++mapped;
            }
            if (visible && style.mark && markMapped <= style.markIds.last && ui.map.enabled())
                ui.map.text(markMapped++, mark);
            ImGui::TableNextColumn();
            ImGui::TextUnformatted(row.detail.c_str());
            ImGui::PopStyleColor();
        }
    }
    ImGui::EndTable();
    return click;
}

ListKeys readListKeys() {
    ListKeys keys;
    const ImGuiIO& io = ImGui::GetIO();
    if (io.WantTextInput) return keys;
    if (pressed(ImGuiKey_UpArrow)) keys.move = -1;
    if (pressed(ImGuiKey_DownArrow)) keys.move = +1;
    keys.enter = pressed(ImGuiKey_Enter) || pressed(ImGuiKey_KeyPadEnter);
    keys.back = pressed(ImGuiKey_Backspace);
    keys.shift = io.KeyShift;
    if (!io.KeyCtrl)
        for (const ImWchar c : io.InputQueueCharacters)
            if (c >= 0x20 && c != 0x7F) appendUtf8(keys.typed, c);
    return keys;
}

} // namespace vyn
