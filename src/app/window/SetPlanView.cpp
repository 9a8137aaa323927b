#include "app/window/SetPlanView.h"

#include "app/Application.h"
#include "app/LibraryController.h"
#include "app/UiMap.h"
#include "app/window/BrowseListView.h"
#include "app/window/Theme.h"
#include "app/window/UiContext.h"
#include "app/window/UiWidgets.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>

namespace vyn {
namespace {

std::string markText(const GroupMark& m) {
    if (m.run == 0) return {};
    char text[48];
    std::snprintf(text, sizeof text, "%d \xC2\xB7 %d/%d", m.run, m.position + 1, m.size);
    return text;
}

void handleKeys(SetPlanEditor& editor, EditShortcut shortcut) {
    if (ImGui::GetIO().WantTextInput) return;
    switch (shortcut) {
    case EditShortcut::Undo:
        editor.undo();
        return;
    case EditShortcut::Redo:
        editor.redo();
        return;
    case EditShortcut::Save:
        editor.save();
        return;
    default:
        break;
    }
    if (ImGui::GetIO().KeyCtrl) return;
    const ListKeys keys = readListKeys();
    if (keys.move != 0) editor.moveSelection(keys.move, keys.shift);
    if (keys.enter) editor.activate(editor.browser().selected());
    if (keys.back) editor.back();
}

} // namespace

void drawSetPlanEditor(UiContext& ui, const Rect& area, bool keys) {
    namespace id = set_plan_id;
    SetPlanEditor& editor = ui.app.library().setPlan();
    const BrowseModel& model = editor.browser();
    const Theme& t = ui.theme;
    if (keys) handleKeys(editor, ui.shortcut);

    ImGui::SetCursorScreenPos(ImVec2(area.x, area.y));
    ImGui::BeginChild("##setplan", ImVec2(area.w, area.h), false);
    ImGui::PushFont(t.large);
    ImGui::TextUnformatted("Set Plan");
    ImGui::PopFont();
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextDisabled("%s", set_plan_text::kHelp);
    ImGui::PopTextWrapPos();

    ButtonStyle style;
    style.size = ImVec2(t.px(100), 0);
    if (mappedButton(ui.map, id::GROUP, "Group", style)) editor.group();
    ImGui::SameLine();
    if (mappedButton(ui.map, id::UNGROUP, "Ungroup", style)) editor.ungroup();
    ImGui::SameLine();
    ButtonStyle save = style;
    save.enabled = editor.canSave();
    if (mappedButton(ui.map, id::SAVE, "Save", save)) editor.save();
    ImGui::SameLine();
    ImGui::AlignTextToFramePadding();
    ImGui::TextColored(ImGui::ColorConvertU32ToFloat4(Theme::kMessage), "%s",
                       editor.status().c_str());
    ImGui::TextUnformatted(model.title().c_str());

    const ImVec2 avail = ImGui::GetContentRegionAvail();
    const float jumpWidth = std::min(t.px(240), avail.x * 0.3f);
    int highlighted = kJumpNone;
    if (model.stack().size() > 1)
        highlighted =
            model.top().kind == browse_view::kAllTracks ? kJumpAllTracks : model.top().index;
    const int jump = drawJumpList(ui, model, {id::FIRST_PLAYLIST, id::LAST_PLAYLIST}, highlighted,
                                  ImVec2(jumpWidth, avail.y));
    if (jump == kJumpAllTracks) {
        editor.browser().openAllTracks();
        editor.rowsChanged();
    } else if (jump != kJumpNone) {
        editor.browser().openEntry(jump);
        editor.rowsChanged();
    }
    ImGui::SameLine();
    RowTableStyle rows;
    rows.selected = [&editor](int row) { return editor.selection().count(row) != 0; };
    rows.mark = [&editor](int row) {
        const auto& marks = editor.marks();
        return row >= 0 && static_cast<std::size_t>(row) < marks.size()
                   ? markText(marks[static_cast<std::size_t>(row)])
                   : std::string();
    };
    rows.markIds = {id::FIRST_MARK, id::LAST_MARK};
    const RowClick click =
        drawRowTable(ui, model, {id::FIRST_ROW, id::LAST_ROW}, rows, ImVec2(0, avail.y));
    if (click.row >= 0) {
        if (click.doubleClick)
            editor.activate(click.row);
        else
            editor.click(click.row, click.ctrl, click.shift);
    }
    ImGui::EndChild();

    if (ui.map.enabled()) {
        ui.map.text(id::HELP_TEXT, set_plan_text::kHelp);
        ui.map.text(id::STATUS_TEXT, editor.status());
        ui.map.text(id::TITLE_TEXT, model.title());
    }
}

} // namespace vyn
