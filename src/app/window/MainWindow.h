#pragma once
// The main window: one OS window with an OpenGL 3 context (NativeWindow), drawn with Dear ImGui.
// It creates the application object, runs the message loop (one frame per posted refresh, the
// refresh thread pacing it at the display's rate), turns posted application messages into
// Application::handleMessage calls, loads files dropped on a deck panel, and on close (its close
// box, SIGINT or SIGTERM) shuts down in order.
//
// Threading: the user-interface thread only (the thread that called open()).

#include "app/Application.h"
#include "app/PanelGrid.h"
#include "app/RefreshTicker.h"
#include "app/UiMap.h"
#include "app/window/DeckPanelView.h"
#include "app/window/FileBrowserWindow.h"
#include "app/window/NativeWindow.h"
#include "app/window/Theme.h"
#include "app/window/ToolWindow.h"
#include "app/window/UiContext.h"

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace vyn {

class MainWindow : private WindowEventSink {
public:
    static constexpr int kWidth = 1360;
    static constexpr int kHeight = 860;

    MainWindow() = default;
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window and the application and starts it. False (error() set) without a
    // display or OpenGL.
    bool open(ApplicationOptions options);
    const std::string& error() const { return error_; }

    // Runs until the window is closed; returns the exit status.
    int run();
    // One refresh pass and one drawn frame (also what run() does per refresh).
    void frame();
    // Ordered shutdown: held controls released, tool windows closed, refresh thread stopped,
    // the window destroyed, then the engine stopped.
    void close();

    Application& app() { return *app_; }
    double refreshRate() const { return refreshHz_; }

private:
    void onMessage(AppMessage message) override;
    void onFocusLost() override;
    void onShortcut(EditShortcut shortcut) override;
    void onLeftPress(bool doubleClick) override;
    void onDrop(const char* path, float x, float y) override;
    void drawMain(UiContext& ui);
    void paintAroundPanels(const std::vector<Rect>& panels, float radius);
    void drawToolWindows(UiContext& ui);
    void updateScale();

    std::string error_;
    NativeWindow native_;
    bool imgui_ = false;
    bool doubleClick_ = false; // the last left press was a double click
    EditShortcut shortcut_ = EditShortcut::None;
    double refreshHz_ = 60.0;

    std::unique_ptr<Application> app_;
    RefreshTicker ticker_;
    UiMap map_ = UiMap::fromEnvironment();
    Theme theme_;
    ToolWindowRegistry tools_;
    FileBrowserWindow fileBrowser_;
    std::array<DeckPanelView, kPanelCount> panelViews_;
    std::vector<std::pair<int, Rect>> shownPanels_; // panel index and where it was drawn
};

// The executable's window mode: exit status 0 after a normal close, 1 without a display.
int runMainWindow(ApplicationOptions options);

} // namespace vyn
