#include "app/window/FeedbackWindow.h"

#include "app/Application.h"
#include "app/FeedbackControl.h"
#include "app/ToolbarIds.h"
#include "app/UiMap.h"
#include "app/window/Theme.h"
#include "app/window/UiContext.h"
#include "app/window/UiWidgets.h"

#include <cstdio>
#include <string>

namespace vyn {

namespace {

// An ImGui text field over a std::string with a fixed capacity.
bool editText(const char* imguiId, std::string& text, std::size_t capacity, bool multiline,
              ImVec2 size) {
    std::string buffer = text;
    buffer.resize(capacity, '\0');
    const bool changed = multiline
                             ? ImGui::InputTextMultiline(imguiId, buffer.data(), capacity, size)
                             : ImGui::InputText(imguiId, buffer.data(), capacity);
    if (changed) text = buffer.c_str();
    return changed;
}

} // namespace

int FeedbackWindow::toolbarId() const {
    return toolbar_id::HELP;
}

const char* FeedbackWindow::title() const {
    return FeedbackControl::kTitle;
}

void FeedbackWindow::draw(UiContext& ui) {
    namespace id = feedback_window_id;
    Application& app = ui.app;
    FeedbackControl& f = app.feedback();
    const Theme& t = ui.theme;
    UiMap& map = ui.map;

    ImGui::TextDisabled("Your e-mail (we reply there)");
    ImGui::SetNextItemWidth(-1.0f);
    editText("##reply", f.replyAddress, 256, false, ImVec2(0, 0));
    mapLastItem(map, id::REPLY, f.replyAddress);
    ImGui::TextDisabled("What happened");
    editText("##description", f.description, 8192, true, ImVec2(-1.0f, t.px(140)));
    mapLastItem(map, id::DESCRIPTION, f.description);

    const std::string summary = boothSummaryText(app.feedbackReport().booth);
    ImGui::TextDisabled("This booth (sent with the report)");
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(summary.c_str());
    ImGui::PopTextWrapPos();

    ButtonStyle send;
    send.size = ImVec2(t.px(110), t.px(30));
    send.enabled = !f.sending();
    if (mappedButton(map, id::SEND, f.sendLabel(), send)) f.send(app.feedbackReport());
    if (!f.message().empty()) {
        ImGui::PushTextWrapPos(0.0f);
        ImGui::TextColored(ImGui::ColorConvertU32ToFloat4(Theme::kMessage), "%s",
                           f.message().c_str());
        ImGui::PopTextWrapPos();
    }
    if (map.enabled()) {
        map.text(id::SUMMARY, summary);
        map.text(id::MESSAGE, f.message());
    }
}

void drawUpdatePrompt(UiContext& ui) {
    namespace id = feedback_window_id;
    FeedbackControl& f = ui.app.feedback();
    if (!f.prompt()) return;
    if (!ImGui::IsPopupOpen(FeedbackControl::kPromptTitle))
        ImGui::OpenPopup(FeedbackControl::kPromptTitle);
    if (!ImGui::BeginPopupModal(FeedbackControl::kPromptTitle, nullptr,
                                ImGuiWindowFlags_AlwaysAutoResize))
        return;
    const std::string text = f.promptText();
    ImGui::TextUnformatted(text.c_str());
    ButtonStyle style;
    style.size = ImVec2(ui.theme.px(90), 0);
    bool answered = false;
    if (mappedButton(ui.map, id::PROMPT_YES, "Yes", style)) {
        f.answerPrompt(true);
        answered = true;
    }
    ImGui::SameLine();
    if (mappedButton(ui.map, id::PROMPT_NO, "No", style)) {
        f.answerPrompt(false);
        answered = true;
    }
    if (answered) ImGui::CloseCurrentPopup();
    if (ui.map.enabled()) {
        // One line in the map: the blank line of the question becomes a space.
        std::string line = text;
        for (char& c : line)
            if (c == '\n') c = ' ';
        ui.map.text(id::PROMPT_TEXT, line);
    }
    ImGui::EndPopup();
}

} // namespace vyn
