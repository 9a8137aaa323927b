#include "app/SetPlanEditor.h"

#include "library/SetPlanStore.h"

#include <algorithm>

namespace vyn {

SetPlanEditor::SetPlanEditor(const Catalogue& catalogue, const MissingTracks& missing,
                             SetPlanStore& store, RootsProvider savedRoots)
    : browser_(catalogue, &missing), store_(store), savedRoots_(std::move(savedRoots)) {}

void SetPlanEditor::refresh() {
    browser_.refreshFromCatalogue();
    resetSelection();
}

void SetPlanEditor::resetSelection() {
    selection_.clear();
    anchor_ = -1;
    rowsChanged();
}

void SetPlanEditor::rowsChanged() {
    paths_.clear();
    for (const PlaylistTrack& t : browser_.playlistTracks())
        paths_.push_back(t.path);
    marks_.assign(browser_.rows().size(), GroupMark{});
    if (paths_.empty()) return;
    const std::vector<GroupMark> byPosition = store_.plan().marks(browser_.playlistKey(), paths_);
    for (std::size_t i = 0; i < byPosition.size() && i + 1 < marks_.size(); ++i)
        marks_[i + 1] = byPosition[i];
}

void SetPlanEditor::click(int row, bool ctrl, bool shift) {
    if (row < 0 || static_cast<std::size_t>(row) >= browser_.rows().size()) return;
    browser_.select(row);
    if (shift && anchor_ >= 0) {
        selection_.clear();
        for (int r = std::min(anchor_, row); r <= std::max(anchor_, row); ++r)
            selection_.insert(r);
        return;
    }
    if (ctrl) {
        if (!selection_.erase(row)) selection_.insert(row);
    } else {
        selection_ = {row};
    }
    anchor_ = row;
}

void SetPlanEditor::moveSelection(int delta, bool extend) {
    const int rows = static_cast<int>(browser_.rows().size());
    if (rows == 0) return;
    const int row = std::clamp(browser_.selected() + delta, 0, rows - 1);
    if (extend && anchor_ < 0) anchor_ = browser_.selected();
    click(row, false, extend);
}

void SetPlanEditor::activate(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= browser_.rows().size()) return;
    if (browser_.rows()[static_cast<std::size_t>(row)].kind == browse_row::kTrack) return;
    browser_.activate(row, 0, 1, true);
    resetSelection();
    if (!browser_.rows().empty()) selection_ = {browser_.selected()};
}

void SetPlanEditor::back() {
    if (browser_.goBack()) resetSelection();
}

std::vector<int> SetPlanEditor::selectedPositions() const {
    std::vector<int> out;
    for (int row : selection_)
        out.push_back(row - 1); // the back row becomes -1, outside the playlist
    return out;
}

void SetPlanEditor::changed() {
    store_.writeLocal();
    rowsChanged();
}

void SetPlanEditor::group() {
    const std::string key = browser_.showsPlaylist() ? browser_.playlistKey() : std::string();
    const std::vector<int> positions = selectedPositions();
    const std::string error = store_.plan().group(key, positions, paths_);
    if (!error.empty()) {
        status_ = error;
        return;
    }
    std::vector<int> unique = positions;
    std::sort(unique.begin(), unique.end());
    unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
    status_ = "Grouped " + std::to_string(unique.size()) + " tracks.";
    changed();
}

void SetPlanEditor::ungroup() {
    store_.plan().ungroup(browser_.playlistKey(), selectedPositions(), paths_);
    status_ = set_plan_text::kUngrouped;
    changed();
}

void SetPlanEditor::undo() {
    if (!store_.plan().undo()) return;
    status_ = set_plan_text::kUndid;
    changed();
}

void SetPlanEditor::redo() {
    if (!store_.plan().redo()) return;
    status_ = set_plan_text::kRedid;
    changed();
}

bool SetPlanEditor::canSave() const {
    return !store_.plan().stickTextSaved();
}

void SetPlanEditor::save() {
    if (!canSave()) return;
    status_ = store_.save(savedRoots_ ? savedRoots_() : std::vector<std::string>{});
}

} // namespace vyn
