#include "app/window/LibraryWindow.h"

#include "app/Application.h"
#include "app/LibraryController.h"
#include "app/ToolbarIds.h"
#include "app/UiMap.h"
#include "app/window/BrowseListView.h"
#include "app/window/FileBrowserWindow.h"
#include "app/window/Theme.h"
#include "app/window/UiContext.h"
#include "app/window/UiWidgets.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vyn {
namespace {

// The search field takes focus from the list without losing what was typed meanwhile: the text
// goes into the buffer, and when the field becomes active the selection that focusing makes is
// collapsed to the end.
int placeCursorAtEnd(ImGuiInputTextCallbackData* data) {
    bool* pending = static_cast<bool*>(data->UserData);
    if (*pending) {
        data->CursorPos = data->SelectionStart = data->SelectionEnd = data->BufTextLen;
        *pending = false;
    }
    return 0;
}

} // namespace

int LibraryWindow::toolbarId() const {
    return toolbar_id::LIBRARY;
}

const char* LibraryWindow::title() const {
    return "Library";
}

void LibraryWindow::drawButtons(UiContext& ui) {
    namespace id = library_window_id;
    Application& app = ui.app;
    Application* target = &app;
    ButtonStyle style;
    style.enabled = !app.library().busy();
    const std::string start = app.settings().lastFolder;
    if (mappedButton(ui.map, id::USB, "USB\xE2\x80\xA6", style) && ui.files)
        ui.files->openPicker("Choose the stick's root folder", FileFilter::Folders, start,
                             [target](const std::string& path) {
                                 target->library().startJob(LibraryJobKind::ImportUsb, path);
                             });
    ImGui::SameLine();
    if (mappedButton(ui.map, id::XML, "XML\xE2\x80\xA6", style) && ui.files)
        ui.files->openPicker("Import a rekordbox XML collection", FileFilter::Xml, start,
                             [target](const std::string& path) {
                                 target->library().startJob(LibraryJobKind::ImportXml, path);
                             });
    ImGui::SameLine();
    if (mappedButton(ui.map, id::MUSIC_FOLDER, "Music folder\xE2\x80\xA6", style) && ui.files)
        ui.files->openPicker("Choose a music folder", FileFilter::Folders, start,
                             [target](const std::string& path) {
                                 target->library().startJob(LibraryJobKind::AddMusicFolder, path);
                             });
    ImGui::SameLine();
    if (mappedButton(ui.map, id::RELINK, "Relink", style))
        app.library().startJob(LibraryJobKind::Relink, std::string());
    ImGui::SameLine();
    if (mappedButton(ui.map, id::FORGET, "Forget", style))
        app.library().startJob(LibraryJobKind::Forget, std::string());
}

void LibraryWindow::drawSearchAndDeck(UiContext& ui) {
    namespace id = library_window_id;
    LibraryController& library = ui.app.library();
    // The model leaves a search on its own too (going back); the field follows when idle.
    if (!searchActive_ && library.browser().search() != search_.data()) {
        const std::string& now = library.browser().search();
        std::snprintf(search_.data(), search_.size(), "%s", now.c_str());
    }
    if (focusSearch_) {
        ImGui::SetKeyboardFocusHere();
        focusSearch_ = false;
        cursorToEnd_ = true;
    }
    ImGui::SetNextItemWidth(ui.theme.px(360));
    if (ImGui::InputTextWithHint("##search", "Search collection", search_.data(), search_.size(),
                                 ImGuiInputTextFlags_CallbackAlways, placeCursorAtEnd,
                                 &cursorToEnd_))
        library.setSearch(search_.data());
    searchActive_ = ImGui::IsItemActive();
    mapLastItem(ui.map, id::SEARCH, search_.data());

    ImGui::SameLine();
    char preview[32];
    std::snprintf(preview, sizeof preview, "Deck %d", library.selectedDeck() + 1);
    ImGui::SetNextItemWidth(ui.theme.px(110));
    const bool open = ImGui::BeginCombo("##deck", preview);
    mapLastItem(ui.map, id::DECK, preview);
    if (open) {
        // A popup's first frame lays it out unseen: its items are listed from the second on.
        const bool placed = !ImGui::IsWindowAppearing();
        for (int d = 0; d < library.deckCount(); ++d) {
            char item[32];
            std::snprintf(item, sizeof item, "Deck %d", d + 1);
            if (ImGui::Selectable(item, d == library.selectedDeck())) library.selectDeck(d);
            if (placed) mapLastItem(ui.map, id::FIRST_DECK_ITEM + d, item);
        }
        ImGui::EndCombo();
    }
}

void LibraryWindow::draw(UiContext& ui) {
    namespace id = library_window_id;
    LibraryController& library = ui.app.library();
    BrowseModel& model = library.browser();
    const Theme& t = ui.theme;

    // Keys act on the rows while no text field has the keyboard. They are read before the
    // search field is drawn: characters typed meanwhile go into its text here, not into a field
    // that is just taking the focus.
    if (ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows)) {
        const ListKeys keys = readListKeys();
        if (keys.move != 0) {
            model.select(model.selected() + keys.move);
            moved_ = true;
        }
        if (keys.enter) library.activate(model.selected());
        if (keys.back) library.back();
        if (!keys.typed.empty()) {
            const std::size_t used = std::strlen(search_.data());
            std::snprintf(search_.data() + used, search_.size() - used, "%s", keys.typed.c_str());
            ImGui::GetIO().InputQueueCharacters.resize(0);
            library.setSearch(search_.data());
            focusSearch_ = true;
        }
    }

    drawButtons(ui);
    drawSearchAndDeck(ui);

    const std::string progress = library.progressText();
    const std::string& status = progress.empty() ? library.status() : progress;
    ImGui::TextColored(ImGui::ColorConvertU32ToFloat4(Theme::kMessage), "%s", status.c_str());
    ImGui::PushFont(t.large);
    ImGui::TextUnformatted(model.title().c_str());
    ImGui::PopFont();

    const ImVec2 avail = ImGui::GetContentRegionAvail();
    const float jumpWidth = std::min(t.px(240), avail.x * 0.3f);
    int highlighted = kJumpNone;
    const BrowseLocation& at = model.top();
    if (!model.searching() && model.stack().size() > 1)
        highlighted = at.kind == browse_view::kAllTracks ? kJumpAllTracks : at.index;
    const int jump = drawJumpList(ui, model, {id::FIRST_PLAYLIST, id::LAST_PLAYLIST}, highlighted,
                                  ImVec2(jumpWidth, avail.y));
    if (jump == kJumpAllTracks)
        library.openAllTracks();
    else if (jump != kJumpNone)
        library.openEntry(jump);
    ImGui::SameLine();
    RowTableStyle style;
    style.scrollToSelection = moved_;
    moved_ = false;
    const RowClick click =
        drawRowTable(ui, model, {id::FIRST_ROW, id::LAST_ROW}, style, ImVec2(0, avail.y));
    if (click.row >= 0) {
        model.select(click.row);
        if (click.doubleClick) library.activate(click.row);
    }

    if (ui.map.enabled()) {
        ui.map.text(id::TITLE_TEXT, model.title());
        ui.map.text(id::STATUS_TEXT, status);
        const auto& rows = model.rows();
        const int sel = model.selected();
        ui.map.text(id::SELECTED_TEXT, sel >= 0 && static_cast<std::size_t>(sel) < rows.size()
                                           ? rows[static_cast<std::size_t>(sel)].text
                                           : std::string());
    }
}

} // namespace vyn
