#pragma once
// The Set Plan editor's logic, without drawing: a playlist browser of its own (the browse model),
// a selection of rows (click, Ctrl-click, Shift-click, Shift-arrows), the group marks of the
// rows shown, and the Group, Ungroup, Save, undo and redo operations with the messages they
// leave in the editor's status line. Every successful change is written to the local file at
// once.
//
// Threading: user-interface thread only.

#include "library/BrowseModel.h"
#include "library/SetPlan.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace vyn {

class Catalogue;
class MissingTracks;
class SetPlanStore;

class SetPlanEditor {
public:
    using RootsProvider = std::function<std::vector<std::string>()>;

    SetPlanEditor(const Catalogue& catalogue, const MissingTracks& missing, SetPlanStore& store,
                  RootsProvider savedRoots);

    BrowseModel& browser() { return browser_; }
    const BrowseModel& browser() const { return browser_; }

    // After a library job: the tree may have changed.
    void refresh();
    // After the plan changed elsewhere, or the view moved: marks and paths again.
    void rowsChanged();

    // A click on a row; Ctrl toggles it, Shift extends from the last plain click.
    void click(int row, bool ctrl, bool shift);
    // Arrow keys: moves the selection, or extends it with Shift.
    void moveSelection(int delta, bool extend);
    // Double-click or Enter: navigates (folders, playlists, back); tracks are not loaded here.
    void activate(int row);
    void back();
    const std::set<int>& selection() const { return selection_; }

    void group();
    void ungroup();
    void undo();
    void redo();
    void save();
    bool canSave() const;

    // One mark per row of the browser (the back row has none).
    const std::vector<GroupMark>& marks() const { return marks_; }
    const std::string& status() const { return status_; }
    void setStatus(std::string text) { status_ = std::move(text); }

private:
    std::vector<int> selectedPositions() const;
    void changed(); // a successful change: local file, marks
    void resetSelection();

    BrowseModel browser_;
    SetPlanStore& store_;
    RootsProvider savedRoots_;
    std::set<int> selection_;
    int anchor_ = -1;
    std::vector<std::string> paths_; // of the playlist shown, in row order minus the back row
    std::vector<GroupMark> marks_;
    std::string status_;
};

} // namespace vyn
