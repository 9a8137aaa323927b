#pragma once
// A tool window: an ImGui window inside the main window, opened and closed by its toolbar button.
// Each one is a small class registered in ToolWindows.cpp under its toolbar identifier (Library
// 1007, MIDI 1008, Link 1009, VJ 1018, Help 1019); a toolbar button without a registered window
// is shown disabled.
//
// Threading: user-interface thread only.

#include <imgui.h>

#include <memory>
#include <vector>

namespace vyn {

class Application;
struct UiContext;

class ToolWindow {
public:
    virtual ~ToolWindow() = default;
    virtual int toolbarId() const = 0;
    // The window's title (also its ImGui identity).
    virtual const char* title() const = 0;
    virtual ImVec2 defaultSize() const { return ImVec2(560, 600); }
    // Draws the contents; the frame has opened the window.
    virtual void draw(UiContext& ui) = 0;
    // The window was closed (its close box, its toolbar button, or shutdown).
    virtual void onClose(Application&) {}
};

class ToolWindowRegistry {
public:
    void add(std::unique_ptr<ToolWindow> window) { windows_.push_back(std::move(window)); }
    ToolWindow* find(int toolbarId) const {
        for (const auto& w : windows_)
            if (w->toolbarId() == toolbarId) return w.get();
        return nullptr;
    }
    const std::vector<std::unique_ptr<ToolWindow>>& all() const { return windows_; }

private:
    std::vector<std::unique_ptr<ToolWindow>> windows_;
};

// Registers every tool window this build has.
void registerToolWindows(ToolWindowRegistry& registry);

} // namespace vyn
