#pragma once
// The two lists the library window and the Set Plan editor share: the jump list of playlists
// ("All tracks" and every tree entry, indented by depth) and the rows of the browse model's view
// in two columns, Title and Detail, with the selection, missing tracks dimmed and, for the Set
// Plan, a group column. Both list their visible rows in the UI map, numbered from a first
// identifier in the order shown.
//
// Threading: user-interface thread only, between ImGui::NewFrame and ImGui::Render.

#include <imgui.h>

#include <functional>
#include <string>

namespace vyn {

class BrowseModel;
struct UiContext;

struct ListIds {
    int first = 0; // the first visible row's identifier
    int last = 0;  // rows beyond this identifier are not listed
};

// A click in the jump list: kNone, kAllTracks, or an entry index (>= 1).
inline constexpr int kJumpNone = -2;
inline constexpr int kJumpAllTracks = -1;
int drawJumpList(UiContext& ui, const BrowseModel& model, ListIds ids, int highlighted,
                 const ImVec2& size);

struct RowClick {
    int row = -1; // -1: none
    bool doubleClick = false;
    bool ctrl = false;
    bool shift = false;
};

struct RowTableStyle {
    // Rows drawn as selected (the model's selection when not given).
    std::function<bool(int row)> selected;
    // A third column (the Set Plan's group marks) with its header; its texts are listed in the UI
    // map at `markIds` in the order shown.
    std::function<std::string(int row)> mark;
    const char* markHeader = "Group";
    ListIds markIds;
    bool scrollToSelection = false;
};

// The rows table; its visible rows are listed as controls (label: Title) and texts (Detail)
// at the same identifier.
RowClick drawRowTable(UiContext& ui, const BrowseModel& model, ListIds ids,
                      const RowTableStyle& style, const ImVec2& size);

// Keys for a list when no text field has the keyboard: arrows, Enter, Backspace, and typed
// characters (UTF-8) for a search field. The caller decides what they do.
struct ListKeys {
    int move = 0; // -1 up, +1 down
    bool enter = false;
    bool back = false;
    bool shift = false;
    std::string typed;
};
ListKeys readListKeys();

} // namespace vyn
