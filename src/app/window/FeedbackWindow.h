#pragma once
// The feedback tool window (toolbar "Help"): reply address, what happened, the booth summary
// sent with the report, Send and the outcome; and the update announcement, a small modal shown
// over the main window once per announced version. UI map identifiers 1600-1699.
//
// Threading: user-interface thread only.

#include "app/window/ToolWindow.h"

namespace vyn {

namespace feedback_window_id {
inline constexpr int REPLY = 1600;
inline constexpr int DESCRIPTION = 1601;
inline constexpr int SEND = 1602;
inline constexpr int SUMMARY = 1610; // text
inline constexpr int MESSAGE = 1611; // text
inline constexpr int PROMPT_YES = 1620;
inline constexpr int PROMPT_NO = 1621;
inline constexpr int PROMPT_TEXT = 1622; // text
} // namespace feedback_window_id

class FeedbackWindow final : public ToolWindow {
public:
    int toolbarId() const override;
    const char* title() const override;
    ImVec2 defaultSize() const override { return ImVec2(520, 480); }
    void draw(UiContext& ui) override;
};

// The "VYN update" question, when the update check announced a new version.
void drawUpdatePrompt(UiContext& ui);

} // namespace vyn
