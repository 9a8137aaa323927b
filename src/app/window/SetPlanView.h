#pragma once
// The Set Plan editor, drawn in the deck area of the Set Plan workspace: its help line, the
// "Group", "Ungroup" and "Save" buttons, its status line, the playlist jump list and the rows of
// the playlist shown with their group marks. Click, Ctrl-click and Shift-click (or Shift with the
// arrows) select rows; Enter or a double-click opens a folder or playlist, Backspace goes back;
// Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo, Ctrl+S saves. UI map identifiers 1700-1799.
//
// Threading: user-interface thread only.

#include "app/PanelGrid.h"

namespace vyn {

struct UiContext;

namespace set_plan_id {
inline constexpr int GROUP = 1700;
inline constexpr int UNGROUP = 1701;
inline constexpr int SAVE = 1702;
inline constexpr int HELP_TEXT = 1710;
inline constexpr int STATUS_TEXT = 1711;
inline constexpr int TITLE_TEXT = 1712;
inline constexpr int FIRST_PLAYLIST = 1720; // the jump list's visible rows, 1720-1739
inline constexpr int LAST_PLAYLIST = 1739;
inline constexpr int FIRST_ROW = 1740; // the visible rows, 1740-1769 (text: Detail)
inline constexpr int LAST_ROW = 1769;
inline constexpr int FIRST_MARK = 1770; // the group mark of each visible row, 1770-1799
inline constexpr int LAST_MARK = 1799;
} // namespace set_plan_id

// `keys`: the editor has the keyboard (no tool window is open).
void drawSetPlanEditor(UiContext& ui, const Rect& area, bool keys);

} // namespace vyn
