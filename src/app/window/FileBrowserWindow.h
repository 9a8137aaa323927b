#pragma once
// The Load button's file browser, drawn as a window over the panels: the folder's subfolders and
// audio files, and a path field that has the keyboard focus when the browser opens (a typed path
// and Enter picks that file). UI map identifiers 1200-1299 (rows from 1210 on).
//
// Threading: user-interface thread only.

#include "app/FileBrowser.h"

#include <array>

namespace vyn {

struct UiContext;

namespace file_browser_id {
inline constexpr int PATH = 1200;
inline constexpr int UP = 1201;
inline constexpr int CANCEL = 1202;
inline constexpr int FOLDER_TEXT = 1204;
inline constexpr int ERROR_TEXT = 1205;
inline constexpr int FIRST_ROW = 1210;
inline constexpr int LAST_ROW = 1299;
} // namespace file_browser_id

class FileBrowserWindow {
public:
    void open(int panel, const std::string& folder);
    bool isOpen() const { return panel_ >= 0; }
    void close() { panel_ = -1; }
    void draw(UiContext& ui);

private:
    void pick(UiContext& ui, const std::string& path);

    FileBrowser browser_;
    int panel_ = -1;
    bool focusPath_ = false;
    std::array<char, 1024> path_{};
};

} // namespace vyn
