#include "app/window/FileBrowserWindow.h"

#include "app/Application.h"
#include "app/UiMap.h"
#include "app/window/Theme.h"
#include "app/window/UiContext.h"
#include "app/window/UiWidgets.h"
#include "support/FileIo.h"

#include <imgui.h>

#include <cstdio>
#include <filesystem>

namespace vyn {

void FileBrowserWindow::open(int panel, const std::string& folder) {
    picked_ = nullptr;
    panel_ = panel;
    browser_.setFilter(FileFilter::Audio);
    browser_.open(folder);
    path_.fill(0);
    focusPath_ = true;
}

void FileBrowserWindow::openPicker(const std::string& title, FileFilter filter,
                                   const std::string& folder, Picked picked) {
    panel_ = -1;
    picked_ = std::move(picked);
    title_ = title;
    xmlDialog_ = filter == FileFilter::Xml;
    browser_.setFilter(filter);
    browser_.open(folder);
    path_.fill(0);
    focusPath_ = true;
}

void FileBrowserWindow::pick(UiContext& ui, const std::string& path) {
    if (picked_) {
        const Picked picked = std::move(picked_);
        close();
        picked(path);
        return;
    }
    ui.app.rememberFolder(utf8FromPath(pathFromUtf8(path).parent_path()));
    ui.app.loadFile(panel_, path);
    close();
}

void FileBrowserWindow::draw(UiContext& ui) {
    namespace id = file_browser_id;
    if (!isOpen()) return;
    const Theme& t = ui.theme;
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowSize(ImVec2(t.px(720), t.px(560)), ImGuiCond_Appearing);
    ImGui::SetNextWindowPos(ImVec2(display.x / 2, display.y / 2), ImGuiCond_Appearing,
                            ImVec2(0.5f, 0.5f));
    char title[256];
    if (picked_)
        std::snprintf(title, sizeof title, "%s###filebrowser", title_.c_str());
    else
        std::snprintf(title, sizeof title, "Load onto DECK %d  \xC2\xB7  Audio###filebrowser",
                      panel_ + 1);
    bool open = true;
    if (!ImGui::Begin(title, &open, ImGuiWindowFlags_NoCollapse)) {
        ImGui::End();
        if (!open) close();
        return;
    }

    const FileFilter filter = browser_.filter();
    if (filter == FileFilter::Audio) ImGui::TextDisabled("%s", FileBrowser::kPatterns);
    if (xmlDialog_) {
        ButtonStyle option;
        option.selected = filter == FileFilter::Xml;
        if (mappedButton(ui.map, id::FILTER_XML, "rekordbox XML (*.xml)", option)) {
            browser_.setFilter(FileFilter::Xml);
            browser_.open(browser_.folder());
        }
        ImGui::SameLine();
        option.selected = filter == FileFilter::All;
        if (mappedButton(ui.map, id::FILTER_ALL, "All (*.*)", option)) {
            browser_.setFilter(FileFilter::All);
            browser_.open(browser_.folder());
        }
    }
    ImGui::TextUnformatted(browser_.folder().c_str());
    if (focusPath_) {
        ImGui::SetKeyboardFocusHere();
        focusPath_ = false;
    }
    ImGui::SetNextItemWidth(-1);
    const bool entered =
        ImGui::InputTextWithHint("##path", "Type a path and press Enter", path_.data(),
                                 path_.size(), ImGuiInputTextFlags_EnterReturnsTrue);
    mapLastItem(ui.map, id::PATH, path_.data());
    if (entered) {
        const std::string chosen = browser_.submit(path_.data());
        if (!chosen.empty()) {
            pick(ui, chosen);
        } else {
            path_.fill(0);
            focusPath_ = true;
        }
    }

    ButtonStyle small;
    small.size = ImVec2(t.px(80), 0);
    if (mappedButton(ui.map, id::UP, "Up", small)) browser_.up();
    ImGui::SameLine();
    if (mappedButton(ui.map, id::CANCEL, "Cancel", small)) open = false;
    std::string chosenFolder;
    if (filter == FileFilter::Folders) {
        ImGui::SameLine();
        ButtonStyle choose;
        choose.selected = true;
        if (mappedButton(ui.map, id::CHOOSE_FOLDER, "Choose this folder", choose))
            chosenFolder = browser_.folder();
    }
    if (!browser_.error().empty()) {
        ImGui::SameLine();
        ImGui::TextColored(ImGui::ColorConvertU32ToFloat4(Theme::kMessage), "%s",
                           browser_.error().c_str());
    }

    ImGui::BeginChild("##entries", ImVec2(0, 0), true);
    const std::vector<BrowserEntry> entries = browser_.entries();
    ImGuiListClipper clipper;
    clipper.Begin(static_cast<int>(entries.size()));
    std::string chosen;
    bool navigated = false;
    while (clipper.Step()) {
        for (int i = clipper.DisplayStart; i < clipper.DisplayEnd && !navigated; ++i) {
            const BrowserEntry& e = entries[static_cast<std::size_t>(i)];
            const std::string label = e.folder ? e.name + "/" : e.name;
            ImGui::PushStyleColor(ImGuiCol_Text, e.folder ? Theme::kAccent : Theme::kText);
            const bool clicked = ImGui::Selectable((label + "##" + std::to_string(i)).c_str());
            ImGui::PopStyleColor();
            if (ImGui::IsItemVisible() && id::FIRST_ROW + i <= id::LAST_ROW)
                mapLastItem(ui.map, id::FIRST_ROW + i, label);
            if (clicked) {
                chosen = browser_.choose(e);
                navigated = true;
            }
        }
    }
    ImGui::EndChild();
    if (chosen.empty()) chosen = chosenFolder;
    if (!chosen.empty()) pick(ui, chosen);
    if (ui.map.enabled()) {
        ui.map.text(id::FOLDER_TEXT, browser_.folder());
        ui.map.text(id::ERROR_TEXT, browser_.error());
    }
    ImGui::End();
    if (!open && isOpen()) close();
}

} // namespace vyn
