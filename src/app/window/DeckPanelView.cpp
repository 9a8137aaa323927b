#include "app/window/DeckPanelView.h"

#include "app/Application.h"
#include "app/UiMap.h"
#include "app/window/Theme.h"
#include "app/window/UiContext.h"
#include "app/window/UiWidgets.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace vyn {
namespace {

using namespace deck_control;

// The buttons in the order they fill the control grid, row by row.
constexpr int kButtons[] = {PLAY,        LOAD,           SYNC,        MASTER,         SWAP,
                            LOOP_IN,     LOOP_OUT,       RELOOP,      LOOP_4,         LOOP_8,
                            JUMP_BACK_1, JUMP_FORWARD_1, JUMP_BACK_N, JUMP_FORWARD_N, SLIP,
                            REV,         KEY_DOWN,       KEY_RESET,   KEY_UP,         KEY_SYNC,
                            ZOOM_OUT,    ZOOM_IN,        ADJUST_DOWN, ADJUST_UP,      STEMS,
                            STEM_DRUMS,  STEM_BASS,      STEM_VOCALS, STEM_OTHER};
constexpr int kButtonCount = static_cast<int>(sizeof kButtons / sizeof kButtons[0]);

ImU32 levelColour(LevelColour c) {
    return c == LevelColour::Red      ? Theme::kLevelRed
           : c == LevelColour::Orange ? Theme::kLevelOrange
                                      : Theme::kTextDim;
}

} // namespace

void DeckPanelView::drawHeader(UiContext& ui, int panel, Rect r) {
    Application& app = ui.app;
    const Theme& t = ui.theme;
    ImDrawList& d = *ImGui::GetWindowDrawList();
    const PanelTexts& texts = app.panelTexts(panel);
    const DeckSnapshot& deck = app.snapshot().decks[app.panel(panel).deck()];
    const bool playing = deck.state == static_cast<std::uint8_t>(DeckState::PLAYING);
    d.PushClipRect(ImVec2(r.x, r.y), ImVec2(r.x + r.w, r.y + r.h), true);

    const float pad = t.px(8);
    float x = r.x + pad;
    const float y = r.y + t.px(4);
    d.AddText(t.large, t.large->FontSize, ImVec2(x, y), playing ? Theme::kAccent : Theme::kText,
              texts.title.c_str());
    x += t.large->CalcTextSizeA(t.large->FontSize, 1e6f, 0, texts.title.c_str()).x + t.px(12);

    // Right side: state word, tempo, level, right-aligned.
    const LevelLabel level = DeckPanel::levelLabel(deck);
    char right[96];
    std::snprintf(right, sizeof right, "%s   %s", texts.status.c_str(), texts.tempo.c_str());
    const float levelW = t.body->CalcTextSizeA(t.body->FontSize, 1e6f, 0, "100%").x;
    const float rightW = t.body->CalcTextSizeA(t.body->FontSize, 1e6f, 0, right).x;
    const float baseY = y + (t.large->FontSize - t.body->FontSize) * 0.6f;
    const float levelX = r.x + r.w - pad - levelW;
    d.AddText(t.body, t.body->FontSize, ImVec2(levelX, baseY), levelColour(level.colour),
              level.text.c_str());
    const float rightX = levelX - t.px(10) - rightW;
    d.AddText(t.body, t.body->FontSize, ImVec2(rightX, baseY),
              playing ? Theme::kAccent : Theme::kTextDim, right);

    // The track name between, clipped before the right side.
    d.PushClipRect(ImVec2(x, r.y), ImVec2(std::max(x, rightX - t.px(8)), r.y + r.h), true);
    d.AddText(t.body, t.body->FontSize, ImVec2(x, baseY), Theme::kText, texts.track.c_str());
    d.PopClipRect();

    // Second line: badges, then the message.
    float bx = r.x + pad;
    const float by = y + t.large->FontSize + t.px(4);
    for (const std::string& badge : texts.badges) {
        const ImVec2 size = t.small->CalcTextSizeA(t.small->FontSize, 1e6f, 0, badge.c_str());
        const ImU32 colour = badge == "NO OUTPUT" ? Theme::kLevelRed : Theme::kAccent;
        d.AddRect(ImVec2(bx, by), ImVec2(bx + size.x + t.px(8), by + size.y + t.px(2)), colour,
                  t.px(3));
        d.AddText(t.small, t.small->FontSize, ImVec2(bx + t.px(4), by + t.px(1)), colour,
                  badge.c_str());
        bx += size.x + t.px(14);
    }
    const std::string& message = app.panel(panel).message();
    if (!message.empty())
        d.AddText(t.small, t.small->FontSize, ImVec2(bx + t.px(4), by + t.px(1)), Theme::kMessage,
                  message.c_str());
    d.PopClipRect();

    UiMap& map = ui.map;
    if (map.enabled()) {
        std::string badges;
        for (const std::string& b : texts.badges)
            badges += (badges.empty() ? "" : " ") + b;
        map.text(deckControlId(panel, TITLE_TEXT), texts.title);
        map.text(deckControlId(panel, TRACK_TEXT), texts.track);
        map.text(deckControlId(panel, STATUS_TEXT), texts.status);
        map.text(deckControlId(panel, TEMPO_TEXT), texts.tempo);
        map.text(deckControlId(panel, BADGES_TEXT), badges);
        map.text(deckControlId(panel, MESSAGE_TEXT), message);
        map.text(deckControlId(panel, LEVEL_TEXT), level.text);
    }
}

bool DeckPanelView::drawControls(UiContext& ui, int panel, Rect r, int columns,
                                 float buttonHeight) {
    Application& app = ui.app;
    DeckPanel& p = app.panel(panel);
    const DeckSnapshot& deck = app.snapshot().decks[p.deck()];
    const float gap = ui.theme.px(4);
    const float bw = (r.w - gap * static_cast<float>(columns - 1)) / static_cast<float>(columns);
    bool load = false;
    for (int i = 0; i < kButtonCount; ++i) {
        const int control = kButtons[i];
        const int row = i / columns, col = i % columns;
        ImGui::SetCursorScreenPos(ImVec2(r.x + static_cast<float>(col) * (bw + gap),
                                         r.y + static_cast<float>(row) * (buttonHeight + gap)));
        ButtonStyle style;
        style.size = ImVec2(bw, buttonHeight);
        std::string stemText;
        const char* label =
            DeckPanel::label(control, deck, app.swapMark() == panel, p.slipReverseHeld());
        const int stem = control - STEM_DRUMS;
        switch (control) {
        case STEMS:
            stemText = DeckPanel::stemsLabel(deck, app.stemJob(panel));
            label = stemText.c_str();
            style.selected = deck.stemsOn;
            break;
        case STEM_DRUMS:
        case STEM_BASS:
        case STEM_VOCALS:
        case STEM_OTHER:
            stemText = DeckPanel::stemLabel(stem, deck.stemGains[stem]);
            label = stemText.c_str();
            style.selected = deck.stemsOn && deck.stemGains[stem] > 0.0f;
            break;
        case PLAY:
            style.selected = deck.state == static_cast<std::uint8_t>(DeckState::PLAYING);
            break;
        case SYNC:
            style.selected = deck.sync;
            break;
        case MASTER:
            style.selected = deck.isMaster;
            break;
        case SWAP:
            style.selected = app.swapMark() == panel;
            break;
        case LOOP_IN:
            style.selected = deck.loopInAdjust;
            break;
        case LOOP_OUT:
            style.selected = deck.loopOutAdjust;
            break;
        case SLIP:
            style.selected = deck.slip;
            break;
        case REV:
            style.selected = deck.reverse || deck.slipReverse;
            break;
        case KEY_SYNC:
            style.selected = deck.keySync;
            break;
        case ADJUST_DOWN:
        case ADJUST_UP:
            style.enabled = deck.loopInAdjust || deck.loopOutAdjust;
            break;
        default:
            break;
        }
        const bool clicked = mappedButton(ui.map, deckControlId(panel, control), label, style);
        if (control >= STEM_DRUMS && control <= STEM_OTHER) {
            // Ride the stem: a vertical drag (a full 4 for 160 pixels) or the wheel (0.25 a step).
            const float gain = deck.stemGains[stem];
            const ImGuiIO& io = ImGui::GetIO();
            if (ImGui::IsItemActive() && io.MouseDelta.y != 0.0f &&
                ImGui::IsMouseDragging(ImGuiMouseButton_Left)) {
                app.setStemGain(panel, stem, gain - io.MouseDelta.y / ui.theme.px(40));
                continue;
            }
            if (ImGui::IsItemHovered() && io.MouseWheel != 0.0f)
                app.setStemGain(panel, stem, gain + 0.25f * io.MouseWheel);
            // The release that ends a drag is not a click.
            const float drag = io.MouseDragThreshold;
            if (io.MouseDragMaxDistanceSqr[ImGuiMouseButton_Left] >= drag * drag) continue;
        }
        if (control == REV) {
            // Press and hold: the press starts the hold timer, the release decides.
            if (ImGui::IsItemActivated()) app.revDown(panel, ui.now);
            if (ImGui::IsItemDeactivated()) app.revUp(panel);
            continue;
        }
        if (!clicked) continue;
        if (control == LOAD)
            load = true;
        else
            app.pressDeckControl(panel, control);
    }
    return load;
}

void DeckPanelView::drawTempoSlider(UiContext& ui, int panel, Rect r) {
    Application& app = ui.app;
    const DeckSnapshot& deck = app.snapshot().decks[app.panel(panel).deck()];
    int value = DeckPanel::sliderForRate(deck.rate);
    char label[32];
    std::snprintf(label, sizeof label, "%+.1f%%", (DeckPanel::rateForSlider(value) - 1.0) * 100.0);
    char id[32];
    std::snprintf(id, sizeof id, "##tempo%d", panel);
    ImGui::SetCursorScreenPos(ImVec2(r.x, r.y));
    if (ImGui::VSliderInt(id, ImVec2(r.w, r.h), &value, 0, DeckPanel::kSliderMax, ""))
        app.moveTempoSlider(panel, value);
    mapLastItem(ui.map, deckControlId(panel, TEMPO), label);
    ImGui::GetWindowDrawList()->AddLine(ImVec2(r.x + 2, r.y + r.h / 2),
                                        ImVec2(r.x + r.w - 2, r.y + r.h / 2), Theme::kTextDim);
}

bool DeckPanelView::draw(UiContext& ui, int panel, Rect r) {
    Application& app = ui.app;
    const Theme& t = ui.theme;
    ImDrawList& d = *ImGui::GetWindowDrawList();
    const float pad = t.px(6);
    const float headerH = t.large->FontSize + t.small->FontSize + t.px(12);
    Rect body{r.x + pad, r.y + headerH, r.w - 2 * pad, r.h - headerH - pad};

    // Controls beside the waveform or in a strip across the panel, whichever leaves the waveform
    // more room (always a strip when the waveform runs vertically).
    const float gap = t.px(4);
    const float sliderW = t.px(30);
    const float minButtonH = t.px(24), maxButtonH = t.px(34);
    const float minButtonW =
        std::max(t.px(46), ImGui::CalcTextSize("RELOOP").x + ImGui::GetStyle().FramePadding.x * 2);
    const bool vertical = verticalPanel(r);
    const int rowsFit = std::max(1, static_cast<int>((body.h + gap) / (minButtonH + gap)));
    const int sideColumns = std::max(4, (kButtonCount + rowsFit - 1) / rowsFit);
    const float sideW = sideColumns * minButtonW + gap * (sideColumns - 1) + sliderW + gap;
    const int stripColumns = std::clamp(
        static_cast<int>((body.w - sliderW - gap + gap) / (minButtonW + gap)), 1, kButtonCount);
    const int stripRows = (kButtonCount + stripColumns - 1) / stripColumns;
    const float stripH = stripRows * minButtonH + (stripRows - 1) * gap;
    const bool side = !vertical && (body.w - sideW) * body.h > body.w * (body.h - stripH - gap);

    Rect controls, slider, wave;
    int columns = sideColumns;
    float buttonH = minButtonH;
    const bool atStart = app.settings().chromeAtStart;
    if (side) {
        const int rows = (kButtonCount + columns - 1) / columns;
        buttonH = std::clamp((body.h - gap * (rows - 1)) / rows, minButtonH, maxButtonH);
        const float x = atStart ? body.x : body.x + body.w - sideW;
        slider = {atStart ? x : x + sideW - sliderW, body.y, sliderW, body.h};
        controls = {atStart ? x + sliderW + gap : x, body.y, sideW - sliderW - gap, body.h};
        wave = {atStart ? body.x + sideW + gap : body.x, body.y, body.w - sideW - gap, body.h};
    } else {
        columns = stripColumns;
        const float y = atStart ? body.y : body.y + body.h - stripH;
        controls = {body.x, y, body.w - sliderW - gap, stripH};
        slider = {body.x + body.w - sliderW, y, sliderW, stripH};
        wave = {body.x, atStart ? body.y + stripH + gap : body.y, body.w, body.h - stripH - gap};
    }

    const float round = t.px(kCornerRadius);
    d.AddRect(ImVec2(r.x, r.y), ImVec2(r.x + r.w, r.y + r.h),
              app.swapMark() == panel ? Theme::kAccent : Theme::kPanelEdge, round);
    drawHeader(ui, panel, {r.x, r.y, r.w, headerH});

    // The waveform views: the detail view is the panel's largest element; the overview runs
    // beneath it (beside it in a vertical panel).
    WaveAxis axis;
    axis.vertical = vertical;
    axis.forward = vertical ? app.settings().timeV : app.settings().timeH;
    const int deckIndex = app.panel(panel).deck();
    const DeckSnapshot& deck = app.snapshot().decks[deckIndex];
    const DeckView& view = app.deckView(deckIndex);
    Rect detail = wave, overview = wave;
    if (vertical) {
        overview.w = std::max(t.px(26), wave.w * 0.2f);
        detail.w = wave.w - overview.w - gap;
        overview.x = wave.x + detail.w + gap;
    } else {
        overview.h = std::max(t.px(26), wave.h * 0.22f);
        detail.h = wave.h - overview.h - gap;
        overview.y = wave.y + detail.h + gap;
    }
    if (detail.w > 4 && detail.h > 4) {
        drawDetailWaveform(d, t, detail, axis, deck, view, app.panel(panel).zoomSeconds());
        ImGui::SetCursorScreenPos(ImVec2(detail.x, detail.y));
        char id[32];
        std::snprintf(id, sizeof id, "##wave%d", panel);
        ImGui::InvisibleButton(id, ImVec2(detail.w, detail.h));
        mapLastItem(ui.map, deckControlId(panel, WAVEFORM), "");
    }
    if (overview.w > 4 && overview.h > 4) {
        drawOverview(d, overview, axis, deck, view, overview_);
        ImGui::SetCursorScreenPos(ImVec2(overview.x, overview.y));
        char id[32];
        std::snprintf(id, sizeof id, "##overview%d", panel);
        if (ImGui::InvisibleButton(id, ImVec2(overview.w, overview.h))) {
            const ImVec2 m = ImGui::GetIO().MousePos;
            app.seek(panel, overviewFraction(overview, axis, m.x, m.y));
        }
        mapLastItem(ui.map, deckControlId(panel, OVERVIEW), "");
    }

    // The buttons' small rounded corners without anti-aliased fringes: two hundred buttons'
    // fringes are most of a frame's triangles, and software OpenGL pays for each one.
    const ImDrawListFlags flags = d.Flags;
    d.Flags &= ~ImDrawListFlags_AntiAliasedFill;
    const bool load = drawControls(ui, panel, controls, columns, buttonH);
    drawTempoSlider(ui, panel, slider);
    d.Flags = flags;
    return load;
}

} // namespace vyn
