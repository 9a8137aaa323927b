#include "app/window/ResolumeWindow.h"

#include "app/Application.h"
#include "app/ResolumeControl.h"
#include "app/ToolbarIds.h"
#include "app/UiMap.h"
#include "app/window/Theme.h"
#include "app/window/UiContext.h"
#include "app/window/UiWidgets.h"

#include <cstdio>
#include <string>

namespace vyn {

namespace {

// A one-line text field bound to a std::string, listed in the map with its current text.
void mappedField(UiMap& map, int id, const char* label, std::string& text, float width) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "%s", text.c_str());
    char imguiId[32];
    std::snprintf(imguiId, sizeof imguiId, "##field%d", id);
    ImGui::TextUnformatted(label);
    ImGui::SameLine();
    ImGui::SetNextItemWidth(width);
    if (ImGui::InputText(imguiId, buffer, sizeof buffer)) text = buffer;
    mapLastItem(map, id, text);
}

bool mappedRadio(UiMap& map, int id, const char* label, bool active) {
    char imguiId[160];
    std::snprintf(imguiId, sizeof imguiId, "%s##%d", label, id);
    const bool clicked = ImGui::RadioButton(imguiId, active);
    mapLastItem(map, id, label);
    return clicked;
}

} // namespace

int ResolumeWindow::toolbarId() const {
    return toolbar_id::VJ;
}

const char* ResolumeWindow::title() const {
    return ResolumeControl::kTitle;
}

void ResolumeWindow::draw(UiContext& ui) {
    namespace id = resolume_window_id;
    Application& app = ui.app;
    ResolumeControl& r = app.resolume();
    const Theme& t = ui.theme;
    UiMap& map = ui.map;
    if (!outputsRead_) {
        r.refreshOutputs();
        outputsRead_ = true;
    }

    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(ResolumeControl::kExplanation);
    ImGui::PopTextWrapPos();
    ImGui::Spacing();

    mappedField(map, id::HOST, "host", r.host, t.px(160));
    ImGui::SameLine();
    mappedField(map, id::PORT, "port", r.port, t.px(80));
    if (mappedRadio(map, id::CUES_TO_COLUMNS, "Hot cues \xE2\x86\x92 columns", r.cueMap == 0))
        r.cueMap = 0;
    ImGui::SameLine();
    if (mappedRadio(map, id::CUES_TO_CLIPS, "Hot cues \xE2\x86\x92 clips", r.cueMap == 1))
        r.cueMap = 1;
    mappedCheckbox(map, id::RESYNC_EVERY_BAR, "Resync every bar", &r.resyncEveryBar);
    mappedCheckbox(map, id::PAUSE, "Pause composition when all decks stop", &r.pauseWhenStopped);

    ImGui::Spacing();
    ImGui::TextDisabled("MIDI clock output");
    const auto& outputs = r.midiOutputs();
    if (ImGui::BeginListBox("##outputs", ImVec2(-1.0f, t.px(90)))) {
        for (int i = 0; i < static_cast<int>(outputs.size()); ++i) {
            const std::string& name = outputs[static_cast<std::size_t>(i)];
            ImGui::PushID(i);
            if (ImGui::Selectable(name.c_str(), name == r.midiOutput)) r.midiOutput = name;
            ImGui::PopID();
            if (i < id::OUTPUT_IDS && ImGui::IsItemVisible())
                mapLastItem(map, id::OUTPUT_BASE + i, name);
        }
        ImGui::EndListBox();
    }
    mappedCheckbox(map, id::SEND_MIDI_CLOCK, "Send MIDI clock", &r.sendMidiClock);

    ImGui::Spacing();
    ButtonStyle big;
    big.size = ImVec2(t.px(120), t.px(34));
    big.selected = r.oscOn() || r.clockOn();
    if (mappedButton(map, id::START_STOP, r.buttonLabel(), big)) r.startOrStop(app.audioRunning());

    const std::string status = r.statusLine();
    ImGui::TextUnformatted(status.c_str());
    if (!r.message().empty())
        ImGui::TextColored(ImGui::ColorConvertU32ToFloat4(Theme::kLevelRed), "%s",
                           r.message().c_str());
    if (map.enabled()) {
        map.text(id::STATUS, status);
        map.text(id::MESSAGE, r.message());
        map.text(id::EXPLANATION, ResolumeControl::kExplanation);
    }
}

} // namespace vyn
