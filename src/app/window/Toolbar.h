#pragma once
// The main window's toolbar: deck count, layout, waveform time directions, control side,
// quantise, workspaces, tool windows, audio stop/start, the set recording group (disabled until
// sets arrive) and the sound options. Returns the height it used.
//
// Threading: user-interface thread only, between ImGui::NewFrame and ImGui::Render.

namespace vyn {

struct UiContext;
class ToolWindowRegistry;

float drawToolbar(UiContext& ui, const ToolWindowRegistry& tools, float width);

} // namespace vyn
