#pragma once
// The in-app file browser, drawn as a window over the panels: the Load button's (a folder's
// subfolders and audio files), and the library window's file dialog and folder picker, which hand
// the chosen path to a callback. A path field has the keyboard focus when the browser opens (a
// typed path and Enter picks it). UI map identifiers 1200-1299 (rows from 1210 on).
//
// Threading: user-interface thread only.

#include "app/FileBrowser.h"

#include <array>
#include <functional>
#include <string>

namespace vyn {

struct UiContext;

namespace file_browser_id {
inline constexpr int PATH = 1200;
inline constexpr int UP = 1201;
inline constexpr int CANCEL = 1202;
inline constexpr int CHOOSE_FOLDER = 1203; // the folder picker's "Choose this folder"
inline constexpr int FOLDER_TEXT = 1204;
inline constexpr int ERROR_TEXT = 1205;
inline constexpr int FILTER_XML = 1206; // the file dialog's filters: "rekordbox XML (*.xml)"
inline constexpr int FILTER_ALL = 1207; // "All (*.*)"
inline constexpr int FIRST_ROW = 1210;
inline constexpr int LAST_ROW = 1299;
} // namespace file_browser_id

class FileBrowserWindow {
public:
    using Picked = std::function<void(const std::string& path)>;

    // The Load button of a deck panel: the picked file loads onto that panel's deck.
    void open(int panel, const std::string& folder);
    // A file dialog (FileFilter::Xml offers the "All" filter too) or, with FileFilter::Folders, a
    // folder picker; `picked` receives the chosen path.
    void openPicker(const std::string& title, FileFilter filter, const std::string& folder,
                    Picked picked);
    bool isOpen() const { return panel_ >= 0 || picked_ != nullptr; }
    void close() {
        panel_ = -1;
        picked_ = nullptr;
    }
    void draw(UiContext& ui);

private:
    void pick(UiContext& ui, const std::string& path);

    FileBrowser browser_;
    int panel_ = -1;
    Picked picked_;
    std::string title_;
    bool xmlDialog_ = false;
    bool focusPath_ = false;
    std::array<char, 1024> path_{};
};

} // namespace vyn
