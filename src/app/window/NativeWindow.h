#pragma once
// The operating system's side of the main window: one top-level window with an OpenGL 3 context,
// ImGui's platform and OpenGL 3 renderer backends, and the event pump. Everything else of the
// window (what is drawn, what a click does) is platform-neutral in MainWindow. One implementation
// per platform, chosen in CMake: SDL2 on Linux (NativeWindowSdl.cpp), Win32 and WGL on Windows
// (NativeWindowWin32.cpp).
//
// Threading: the user-interface thread (the one that called open()) only, except the function
// messagePoster() returns, which any thread may call.

#include "app/Application.h"
#include "app/window/UiContext.h"

#include <functional>
#include <memory>
#include <string>

namespace vyn {

// What the event pump hands to the window's logic.
class WindowEventSink {
public:
    virtual ~WindowEventSink() = default;
    // A posted application message other than AppMessage::Refresh.
    virtual void onMessage(AppMessage message) = 0;
    // The window lost the keyboard focus: held controls must be released.
    virtual void onFocusLost() = 0;
    virtual void onShortcut(EditShortcut shortcut) = 0;
    // A left button press; doubleClick when it completes a double click.
    virtual void onLeftPress(bool doubleClick) = 0;
    // A file dropped at (x, y) in client pixels; path in UTF-8.
    virtual void onDrop(const char* path, float x, float y) = 0;
};

class NativeWindow {
public:
    // What one pump() call asks of the window's logic.
    enum class Pump { Idle, Draw, Quit };

    NativeWindow();
    ~NativeWindow();
    NativeWindow(const NativeWindow&) = delete;
    NativeWindow& operator=(const NativeWindow&) = delete;

    // Creates the window (client size width × height), its OpenGL 3 context with vsync where the
    // driver has it, and the ImGui backends for the current ImGui context. False with error set
    // without a display or OpenGL; close() then undoes what was done.
    bool open(const char* title, int width, int height, std::string& error);
    // Backends shut down, context and window destroyed. Safe to call twice.
    void close();

    // The display's refresh rate in Hz (60 when the system does not say).
    double refreshRate() const;
    // Client size in window coordinates and the display's DPI (96 when unknown).
    void size(int& width, int& height) const;
    float dpi() const;

    // Posts a message to this window's pump from any thread. Valid while the window is open.
    std::function<void(AppMessage)> messagePoster();

    // Waits up to 200 ms for events and hands them to sink. Draw when a refresh message came or
    // an input needs a frame; a press and its release arriving together are split over two
    // frames (ImGui reads button and key state once per frame, so the click would be lost).
    Pump pump(WindowEventSink& sink);

    // Starts an ImGui frame on both backends.
    void newFrame();
    // Clears to the colour, renders ImGui's draw data and presents (paced by vsync where the
    // driver has it).
    void present(float red, float green, float blue);
    // Rebuilds the font texture after the atlas changed.
    void rebuildFonts();

    // The platform's own state (defined in the platform file; public for its window procedure).
    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace vyn
