#pragma once
// The library tool window (toolbar "Library"): the buttons that start the library jobs ("USB…",
// "XML…", "Music folder…" through the in-app folder picker and file dialog, "Relink", "Forget"),
// the search field, the deck selector, the playlist jump list and the rows of the browse model
// (Title and Detail). Double-click or Enter loads the selected track onto the selected deck;
// arrows move the selection, Backspace goes back, typing goes to the search field.
// UI map identifiers 1300-1399.
//
// Threading: user-interface thread only.

#include "app/window/ToolWindow.h"

#include <array>
#include <string>

namespace vyn {

namespace library_window_id {
inline constexpr int USB = 1300;
inline constexpr int XML = 1301;
inline constexpr int MUSIC_FOLDER = 1302;
inline constexpr int RELINK = 1303;
inline constexpr int FORGET = 1304;
inline constexpr int SEARCH = 1305;
inline constexpr int DECK = 1306;
inline constexpr int TITLE_TEXT = 1310;
inline constexpr int STATUS_TEXT = 1311;
inline constexpr int SELECTED_TEXT = 1312;
inline constexpr int FIRST_PLAYLIST = 1320; // the jump list's visible rows, 1320-1349
inline constexpr int LAST_PLAYLIST = 1349;
inline constexpr int FIRST_ROW = 1350; // the rows' visible rows, 1350-1379 (text: Detail)
inline constexpr int LAST_ROW = 1379;
inline constexpr int FIRST_DECK_ITEM = 1380; // the deck selector's open list, 1380-1395
} // namespace library_window_id

class LibraryWindow final : public ToolWindow {
public:
    int toolbarId() const override;
    const char* title() const override;
    ImVec2 defaultSize() const override { return ImVec2(900, 620); }
    void draw(UiContext& ui) override;

private:
    void drawButtons(UiContext& ui);
    void drawSearchAndDeck(UiContext& ui);

    std::array<char, 256> search_{};
    bool focusSearch_ = false;
    bool searchActive_ = false;
    bool cursorToEnd_ = false;
    bool moved_ = false; // the selection moved by key: keep it in view
};

} // namespace vyn
