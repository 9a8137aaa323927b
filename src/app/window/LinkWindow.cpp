#include "app/window/LinkWindow.h"

#include "app/Application.h"
#include "app/ToolbarIds.h"
#include "app/UiMap.h"
#include "app/window/Theme.h"
#include "app/window/UiContext.h"
#include "app/window/UiWidgets.h"

#include <algorithm>
#include <string>

namespace vyn {

int LinkWindow::toolbarId() const {
    return toolbar_id::LINK;
}

const char* LinkWindow::title() const {
    return LinkWindowModel::kTitle;
}

void LinkWindow::draw(UiContext& ui) {
    namespace id = link_window_id;
    Application& app = ui.app;
    LinkWindowModel& model = app.linkModel();
    const Theme& t = ui.theme;

    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(LinkWindowModel::kIntro);
    ImGui::PopTextWrapPos();
    ImGui::Spacing();

    ButtonStyle big;
    big.size = ImVec2(t.px(140), t.px(34));
    big.selected = model.running();
    if (mappedButton(ui.map, id::START_STOP, model.startStopLabel(), big)) {
        if (model.running())
            app.stopLink();
        else
            app.startLink();
    }
    ImGui::SameLine();
    ButtonStyle plain;
    plain.size = ImVec2(t.px(110), t.px(34));
    if (mappedButton(ui.map, id::NEW_CODE, LinkWindowModel::kNewCode, plain)) app.newLinkCode();

    ImGui::Spacing();
    ImGui::TextDisabled("%s", LinkWindowModel::kCodeLabel);
    ImGui::PushFont(t.large);
    ImGui::PushStyleColor(ImGuiCol_Text, ImGui::ColorConvertU32ToFloat4(Theme::kAccent));
    ImGui::TextUnformatted(model.code().c_str());
    ImGui::PopStyleColor();
    ImGui::PopFont();

    const std::string status = model.statusLine();
    const std::string addresses = model.addressText();
    const std::string wrong = model.wrongCodeLine();
    ImGui::TextUnformatted(status.c_str());
    if (!addresses.empty()) {
        ImGui::PushTextWrapPos(0.0f);
        ImGui::TextUnformatted(addresses.c_str());
        ImGui::PopTextWrapPos();
    }
    if (!wrong.empty())
        ImGui::TextColored(ImGui::ColorConvertU32ToFloat4(Theme::kMessage), "%s", wrong.c_str());
    if (!model.message().empty())
        ImGui::TextColored(ImGui::ColorConvertU32ToFloat4(Theme::kLevelRed), "%s",
                           model.message().c_str());

    // The QR code, dark modules on white with its quiet zone, as large as the window allows.
    const QrModules& qr = model.qr();
    if (model.running() && !qr.empty()) {
        const ImVec2 avail = ImGui::GetContentRegionAvail();
        const QrLayout layout = LinkWindowModel::qrLayout(static_cast<int>(avail.x),
                                                          static_cast<int>(avail.y), qr.size);
        const ImVec2 at = ImGui::GetCursorScreenPos();
        ImDrawList& d = *ImGui::GetWindowDrawList();
        const float side = static_cast<float>(layout.side);
        d.AddRectFilled(at, ImVec2(at.x + side, at.y + side), IM_COL32_WHITE, layout.cornerRadius);
        const float m = static_cast<float>(layout.moduleSize);
        const float q = static_cast<float>(layout.quietZone) * m;
        for (int y = 0; y < qr.size; ++y)
            for (int x = 0; x < qr.size; ++x)
                if (qr.at(x, y))
                    d.AddRectFilled(ImVec2(at.x + q + x * m, at.y + q + y * m),
                                    ImVec2(at.x + q + (x + 1) * m, at.y + q + (y + 1) * m),
                                    IM_COL32_BLACK);
        ImGui::Dummy(ImVec2(side, side));
        ImGui::PushTextWrapPos(0.0f);
        ImGui::TextDisabled("%s", LinkWindowModel::kHint);
        ImGui::PopTextWrapPos();
    }

    UiMap& map = ui.map;
    if (map.enabled()) {
        map.text(id::STATUS, status);
        map.text(id::CODE, model.code());
        map.text(id::ADDRESSES, addresses);
        map.text(id::WRONG_CODES, wrong);
        map.text(id::MESSAGE, model.message());
        map.text(id::LINK, model.running() ? model.pairingLink() : std::string());
    }
}

} // namespace vyn
