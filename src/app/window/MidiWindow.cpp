#include "app/window/MidiWindow.h"

#include "app/Application.h"
#include "app/ToolbarIds.h"
#include "app/UiMap.h"
#include "app/window/Theme.h"
#include "app/window/UiContext.h"
#include "app/window/UiWidgets.h"
#include "control/midi/MidiAction.h"
#include "control/midi/MidiWindowModel.h"

#include <string>

namespace vyn {

int MidiWindow::toolbarId() const {
    return toolbar_id::MIDI;
}

const char* MidiWindow::title() const {
    return MidiWindowModel::kTitle;
}

void MidiWindow::onClose(Application& app) {
    app.midiWindow().cancelLearn();
    presetsRead_ = false;
}

void MidiWindow::draw(UiContext& ui) {
    namespace id = midi_window_id;
    MidiWindowModel& model = ui.app.midiWindow();
    const Theme& t = ui.theme;
    UiMap& map = ui.map;
    if (!presetsRead_) {
        model.refreshPresets();
        presetsRead_ = true;
    }

    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(model.status().c_str());
    ImGui::PopTextWrapPos();
    if (!model.message().empty())
        ImGui::TextColored(ImGui::ColorConvertU32ToFloat4(Theme::kMessage), "%s",
                           model.message().c_str());
    ImGui::Spacing();

    int action = model.action();
    if (mappedCombo(map, id::ACTION, id::ITEM_BASE, id::ITEM_IDS, t.px(200), &action,
                    static_cast<int>(kMidiWindowActions.size()), MidiWindowModel::actionItem))
        model.selectAction(action);
    ImGui::SameLine();
    int mode = model.mode();
    if (mappedCombo(map, id::MODE, id::ITEM_BASE, id::ITEM_IDS, t.px(110), &mode,
                    MidiWindowModel::kModes, [](int i) { return MidiWindowModel::modeItem(i); }))
        model.selectMode(mode);
    int slot = model.slot();
    if (mappedCombo(map, id::SLOT, id::ITEM_BASE, id::ITEM_IDS, t.px(110), &slot,
                    MidiWindowModel::kSlots, MidiWindowModel::slotItem))
        model.selectSlot(slot);
    ImGui::SameLine();
    int shift = model.shift();
    if (mappedCombo(map, id::SHIFT, id::ITEM_BASE, id::ITEM_IDS, t.px(90), &shift,
                    MidiWindowModel::kShifts, MidiWindowModel::shiftItem))
        model.selectShift(shift);
    ImGui::SameLine();
    ButtonStyle learnStyle;
    learnStyle.size = ImVec2(t.px(110), 0);
    learnStyle.selected = model.learning();
    if (mappedButton(map, id::LEARN, model.learnLabel(), learnStyle)) model.learn();

    const auto& presets = model.presets();
    if (preset_ >= static_cast<int>(presets.size())) preset_ = 0;
    mappedCombo(map, id::PRESET, id::ITEM_BASE, id::ITEM_IDS, t.px(200), &preset_,
                static_cast<int>(presets.size()),
                [&](int i) { return presets[static_cast<std::size_t>(i)]; });
    ImGui::SameLine();
    ButtonStyle load;
    load.enabled = !presets.empty();
    if (mappedButton(map, id::LOAD_PRESET, "Load preset", load))
        model.loadPreset(presets[static_cast<std::size_t>(preset_)]);
    ImGui::SameLine();
    if (mappedButton(map, id::CLEAR, "Clear")) {
        model.clear();
        selectedRow_ = -1;
    }
    ImGui::SameLine();
    ButtonStyle remove;
    remove.enabled = selectedRow_ >= 0;
    if (mappedButton(map, id::REMOVE, "Remove", remove)) {
        model.remove(selectedRow_);
        selectedRow_ = -1;
    }
    ImGui::SameLine();
    mappedCheckbox(map, id::CLOCK, "Clock", &model.showClock);

    const auto& rows = model.bindings();
    if (selectedRow_ >= static_cast<int>(rows.size())) selectedRow_ = -1;
    const ImGuiTableFlags flags = ImGuiTableFlags_RowBg | ImGuiTableFlags_ScrollY |
                                  ImGuiTableFlags_BordersOuter | ImGuiTableFlags_SizingFixedFit;
    const float half = (ImGui::GetContentRegionAvail().y - t.px(8)) * 0.5f;
    if (ImGui::BeginTable("bindings", 3, flags, ImVec2(0, half))) {
        ImGui::TableSetupScrollFreeze(0, 1);
        ImGui::TableSetupColumn("Address", 0, t.px(140));
        ImGui::TableSetupColumn("Action", 0, t.px(110));
        ImGui::TableSetupColumn("Detail", ImGuiTableColumnFlags_WidthStretch);
        ImGui::TableHeadersRow();
        for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
            const MidiBindingRow& row = rows[static_cast<std::size_t>(r)];
            ImGui::TableNextRow();
            ImGui::TableNextColumn();
            ImGui::PushID(r);
            if (ImGui::Selectable(row.address.c_str(), r == selectedRow_,
                                  ImGuiSelectableFlags_SpanAllColumns))
                selectedRow_ = r;
            ImGui::PopID();
            if (r < id::ROW_IDS && ImGui::IsItemVisible() && map.enabled())
                mapLastItem(map, id::ROW_BASE + r,
                            row.address + " | " + row.action + " | " + row.detail);
            ImGui::TableNextColumn();
            ImGui::TextUnformatted(row.action.c_str());
            ImGui::TableNextColumn();
            ImGui::TextUnformatted(row.detail.c_str());
        }
        ImGui::EndTable();
    }
    const auto& monitor = model.monitor();
    if (ImGui::BeginTable("monitor", 3, flags, ImVec2(0, 0))) {
        ImGui::TableSetupScrollFreeze(0, 1);
        ImGui::TableSetupColumn("Port", 0, t.px(90));
        ImGui::TableSetupColumn("Message", 0, t.px(180));
        ImGui::TableSetupColumn("Bytes", ImGuiTableColumnFlags_WidthStretch);
        ImGui::TableHeadersRow();
        ImGuiListClipper clipper;
        clipper.Begin(static_cast<int>(monitor.size()));
        while (clipper.Step())
            for (int r = clipper.DisplayStart; r < clipper.DisplayEnd; ++r) {
                const MidiMonitorRow& row = monitor[static_cast<std::size_t>(r)];
                ImGui::TableNextRow();
                ImGui::TableNextColumn();
                ImGui::TextUnformatted(row.port.c_str());
                ImGui::TableNextColumn();
                ImGui::TextUnformatted(row.message.c_str());
                ImGui::TableNextColumn();
                ImGui::TextUnformatted(row.bytes.c_str());
            }
        ImGui::EndTable();
    }

    if (map.enabled()) {
        map.text(id::STATUS, model.status());
        map.text(id::MESSAGE, model.message());
        map.text(id::MONITOR_TOP, monitor.empty()
                                      ? std::string()
                                      : monitor.front().port + " | " + monitor.front().message +
                                            " | " + monitor.front().bytes);
    }
}

} // namespace vyn
