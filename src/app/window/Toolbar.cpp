#include "app/window/Toolbar.h"

#include "app/Application.h"
#include "app/ToolbarIds.h"
#include "app/UiMap.h"
#include "app/window/Theme.h"
#include "app/window/ToolWindow.h"
#include "app/window/UiContext.h"
#include "app/window/UiWidgets.h"

#include <imgui.h>

#include <string>

namespace vyn {
namespace {

// Places items left to right and wraps to a new row when the next would not fit.
class Flow {
public:
    Flow(float left, float right, float gap) : left_(left), right_(right), gap_(gap) {}

    // Call before an item of the given width; `groupGap` adds a wider space before a new group.
    void next(float width, bool groupGap = false) {
        if (first_) {
            first_ = false;
            ImGui::SetCursorScreenPos(ImVec2(left_, ImGui::GetCursorScreenPos().y));
            x_ = left_;
            return;
        }
        const float spacing = groupGap ? gap_ * 3.0f : gap_;
        if (x_ + spacing + width > right_) {
            ImGui::SetCursorScreenPos(ImVec2(left_, rowBottom_ + gap_));
            x_ = left_;
            return;
        }
        ImGui::SameLine(0, spacing);
        x_ += spacing;
    }
    void placed() {
        const ImVec2 max = ImGui::GetItemRectMax();
        x_ = max.x;
        rowBottom_ = std::max(rowBottom_, max.y);
    }
    float bottom() const { return rowBottom_; }

private:
    float left_, right_, gap_;
    float x_ = 0, rowBottom_ = 0;
    bool first_ = true;
};

float buttonWidth(const char* label) {
    return ImGui::CalcTextSize(label).x + ImGui::GetStyle().FramePadding.x * 2.0f;
}

} // namespace

float drawToolbar(UiContext& ui, const ToolWindowRegistry& tools, float width) {
    namespace id = toolbar_id;
    Application& app = ui.app;
    const WindowSettings& s = app.settings();
    UiMap& map = ui.map;
    const float top = ImGui::GetCursorScreenPos().y;
    Flow flow(ImGui::GetCursorScreenPos().x, width - ImGui::GetStyle().WindowPadding.x,
              ImGui::GetStyle().ItemSpacing.x);

    auto button = [&](int controlId, const char* label, bool selected, bool groupGap = false,
                      bool enabled = true) {
        flow.next(buttonWidth(label), groupGap);
        ButtonStyle style;
        style.selected = selected;
        style.enabled = enabled;
        const bool clicked = mappedButton(map, controlId, label, style);
        flow.placed();
        return clicked;
    };
    auto label = [&](int textId, const char* text, bool groupGap = false) {
        flow.next(ImGui::CalcTextSize(text).x, groupGap);
        ImGui::AlignTextToFramePadding();
        ImGui::TextUnformatted(text);
        flow.placed();
        if (map.enabled()) map.text(textId, text);
    };

    label(id::DECKS_LABEL, "Decks");
    const std::string count = std::to_string(s.visibleDecks);
    ImGui::PushFont(ui.theme.large);
    label(id::DECK_COUNT, count.c_str());
    ImGui::PopFont();
    if (button(id::FEWER_DECKS, "\xE2\x88\x92", false)) app.changeDeckCount(-1);
    if (button(id::MORE_DECKS, "+", false)) app.changeDeckCount(+1);

    if (button(id::GRID, "Grid", s.layout == PanelLayout::Grid, true))
        app.setLayout(PanelLayout::Grid);
    if (button(id::ROWS, "Rows", s.layout == PanelLayout::Rows)) app.setLayout(PanelLayout::Rows);
    if (button(id::COLUMNS, "Columns", s.layout == PanelLayout::Columns))
        app.setLayout(PanelLayout::Columns);

    if (button(id::TIME_LEFT, "\xE2\x86\x90", !s.timeH, true)) app.setTimeH(false);
    if (button(id::TIME_RIGHT, "\xE2\x86\x92", s.timeH)) app.setTimeH(true);
    if (button(id::TIME_UP, "\xE2\x86\x91", s.timeV)) app.setTimeV(true);
    if (button(id::TIME_DOWN, "\xE2\x86\x93", !s.timeV)) app.setTimeV(false);

    if (button(id::CHROME_LEFT, "Left", s.chromeAtStart, true)) app.setChromeAtStart(true);
    if (button(id::CHROME_RIGHT, "Right", !s.chromeAtStart)) app.setChromeAtStart(false);

    if (button(id::QUANTISE, "Quantise", app.snapshot().quantise, true)) app.toggleQuantise();

    if (button(id::MIX, "Mix", !s.setPlanWorkspace, true)) app.setSetPlanWorkspace(false);
    if (button(id::SET_PLAN, "Set Plan", s.setPlanWorkspace)) app.setSetPlanWorkspace(true);

    const struct {
        int id;
        const char* label;
    } toolButtons[] = {{id::LIBRARY, "Library"},
                       {id::MIDI, "MIDI"},
                       {id::LINK, "Link"},
                       {id::VJ, "VJ"},
                       {id::HELP, "Help"}};
    bool firstTool = true;
    for (const auto& tb : toolButtons) {
        const bool registered = tools.find(tb.id) != nullptr;
        if (button(tb.id, tb.label, app.toolOpen(tb.id), firstTool, registered)) {
            const bool wasOpen = app.toolOpen(tb.id);
            app.toggleTool(tb.id);
            if (wasOpen) tools.find(tb.id)->onClose(app);
        }
        firstTool = false;
    }

    if (button(id::AUDIO, app.audioRunning() ? "Stop" : "Start", false, true)) app.toggleAudio();

    // The set group: recording, replay and the mix recording.
    SetSession& sets = app.sets();
    const ReplayPlayer& player = sets.player();
    const auto now = ui.now;
    label(id::SET_LABEL, "set", true);
    if (button(id::RECORD, sets.recordLabel(), sets.recordState() == RecordState::Recording, false,
               sets.recordEnabled()))
        sets.pressRecord(now);
    if (button(id::REPLAY, "replay", player.ownsMix(), false, sets.replayEnabled()))
        sets.pressReplay(now);
    if (button(id::REWIND, "rewind", false, false, player.loaded())) sets.pressRewind(now);
    if (button(id::REPLAY_PAUSE, player.paused() ? "resume" : "pause", player.paused(), false,
               player.loaded()))
        sets.pressPause();
    if (button(id::REPLAY_SPEED, player.speed() == 4.0 ? "1" : "4", player.speed() == 4.0, false,
               player.loaded()))
        sets.pressSpeed();
    if (button(id::TAKE_OVER, "take over", false, false, player.loaded())) sets.pressTakeOver();
    const std::string time = sets.timeText();
    label(id::REPLAY_TIME, time.c_str());
    if (button(id::MIX_RECORD, "rec mix", sets.mixRecording(), true)) sets.toggleMixRecording();

    SoundOptions sound = s.sound;
    bool hqKeylock = sound.keylockQuality == 1;
    bool isolator = sound.eqType == 0;
    bool hqResampling = sound.interpolation == 1;
    auto check = [&](int controlId, const char* text, bool* value, bool groupGap = false) {
        flow.next(ImGui::GetFrameHeight() + ImGui::GetStyle().ItemInnerSpacing.x +
                      ImGui::CalcTextSize(text).x,
                  groupGap);
        const bool changed = mappedCheckbox(map, controlId, text, value);
        flow.placed();
        return changed;
    };
    bool changed = check(id::HQ_KEYLOCK, "HQ key lock", &hqKeylock, true);
    changed |= check(id::ISOLATOR_EQ, "Isolator EQ", &isolator);
    changed |= check(id::HQ_RESAMPLING, "HQ resampling", &hqResampling);
    if (changed) {
        sound.keylockQuality = hqKeylock ? 1 : 0;
        sound.eqType = isolator ? 0 : 1;
        sound.interpolation = hqResampling ? 1 : 0;
        app.setSoundOptions(sound);
    }
    return flow.bottom() - top;
}

} // namespace vyn
