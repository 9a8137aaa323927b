#pragma once
// What every drawing function of one frame shares: the application it draws and drives, the UI
// map, the theme (fonts, colours, scale), the frame's time and the in-app file browser (the
// tool windows' file dialogs and folder pickers).
//
// Threading: user-interface thread only.

#include <chrono>

namespace vyn {

class Application;
class FileBrowserWindow;
class UiMap;
struct Theme;

// Ctrl+Z, Ctrl+Shift+Z or Ctrl+Y, Ctrl+S, as the windowing system reported the key with its
// modifiers (a frame later the modifier may already read as released).
enum class EditShortcut { None, Undo, Redo, Save };

struct UiContext {
    Application& app;
    UiMap& map;
    Theme& theme;
    std::chrono::steady_clock::time_point now;
    FileBrowserWindow* files = nullptr;
    // The last left press was the second of a double click, as the windowing system timed it
    // (ImGui times clicks by frames, which a slow software renderer stretches past its limit).
    bool doubleClick = false;
    EditShortcut shortcut = EditShortcut::None; // pressed since the last frame
};

} // namespace vyn
