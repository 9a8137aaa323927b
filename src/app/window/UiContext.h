#pragma once
// What every drawing function of one frame shares: the application it draws and drives, the UI
// map, the theme (fonts, colours, scale) and the frame's time.
//
// Threading: user-interface thread only.

#include <chrono>

namespace vyn {

class Application;
class UiMap;
struct Theme;

struct UiContext {
    Application& app;
    UiMap& map;
    Theme& theme;
    std::chrono::steady_clock::time_point now;
};

} // namespace vyn
