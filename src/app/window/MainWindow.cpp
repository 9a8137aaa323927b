#include "app/window/MainWindow.h"

#include "app/ToolbarIds.h"
#include "app/window/FeedbackWindow.h"
#include "app/window/SetPlanView.h"
#include "app/window/Toolbar.h"
#include "app/window/UiContext.h"

#include <imgui.h>

#include <cmath>
#include <cstdio>

namespace vyn {

MainWindow::~MainWindow() {
    close();
}

bool MainWindow::open(ApplicationOptions options) {
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr; // window positions are not worth a file
    imgui_ = true;
    if (!native_.open("VYN", kWidth, kHeight, error_)) {
        close();
        return false;
    }
    refreshHz_ = native_.refreshRate();
    updateScale();

    app_ = std::make_unique<Application>(std::move(options));
    registerToolWindows(tools_);
    app_->setMessagePoster(native_.messagePoster());
    app_->start();
    Application* app = app_.get();
    ticker_.start(refreshHz_, [app] { app->postMessage(AppMessage::Refresh); });
    return true;
}

void MainWindow::updateScale() {
    int w = kWidth, h = kHeight;
    native_.size(w, h);
    if (theme_.setScale(Theme::scaleFor(w, h, native_.dpi()))) native_.rebuildFonts();
}

int MainWindow::run() {
    frame();
    for (;;) {
        const NativeWindow::Pump next = native_.pump(*this);
        if (next == NativeWindow::Pump::Quit) break;
        if (next == NativeWindow::Pump::Draw) frame();
    }
    close();
    return 0;
}

void MainWindow::onMessage(AppMessage message) {
    app_->handleMessage(message, std::chrono::steady_clock::now());
}

void MainWindow::onFocusLost() {
    app_->releaseHeldControls();
}

void MainWindow::onShortcut(EditShortcut shortcut) {
    shortcut_ = shortcut;
}

void MainWindow::onLeftPress(bool doubleClick) {
    doubleClick_ = doubleClick;
}

void MainWindow::onDrop(const char* path, float x, float y) {
    for (const auto& [panel, rect] : shownPanels_)
        if (rect.contains(x, y)) {
            app_->loadFile(panel, path);
            return;
        }
}

void MainWindow::frame() {
    const auto now = std::chrono::steady_clock::now();
    app_->handleMessage(AppMessage::Refresh, now);
    updateScale();
    native_.newFrame();
    ImGui::NewFrame();
    ImGui::PushFont(theme_.body);

    const ImVec2 size = ImGui::GetIO().DisplaySize;
    map_.beginFrame(static_cast<int>(size.x), static_cast<int>(size.y));
    UiContext ui{*app_, map_, theme_, now, &fileBrowser_, doubleClick_, shortcut_};
    shortcut_ = EditShortcut::None;
    drawMain(ui);
    drawToolWindows(ui);
    fileBrowser_.draw(ui);
    drawUpdatePrompt(ui);

    ImGui::PopFont();
    ImGui::Render();
    // With panels on screen the clear paints their face and the background is drawn around them
    // (see paintAroundPanels): the clear is nearly free, every drawn pixel is not.
    const ImVec4 bg =
        ImGui::ColorConvertU32ToFloat4(shownPanels_.empty() ? Theme::kBackground : Theme::kPanel);
    native_.present(bg.x, bg.y, bg.z);
    map_.endFrame(now);
    ticker_.acknowledge();
}

void MainWindow::drawMain(UiContext& ui) {
    const ImVec2 size = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(size);
    // No background of its own: the clear paints the same colour, and with software OpenGL every
    // full-window layer costs several milliseconds a frame.
    ImGui::Begin("##main", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoBringToFrontOnFocus | ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoBackground);
    const ImGuiStyle& style = ImGui::GetStyle();
    const float toolbarH = drawToolbar(ui, tools_, size.x);

    // The status line along the bottom edge.
    const float statusH = ImGui::GetFrameHeight();
    const float statusY = size.y - statusH - style.WindowPadding.y * 0.5f;
    ImGui::SetCursorScreenPos(ImVec2(style.WindowPadding.x, statusY));
    ImGui::AlignTextToFramePadding();
    const std::string& status = ui.app.statusLine();
    ImGui::TextColored(
        ImGui::ColorConvertU32ToFloat4(ui.app.audioRunning() ? Theme::kAccent : Theme::kLevelRed),
        "%s", status.c_str());
    if (ui.map.enabled()) ui.map.text(toolbar_id::STATUS, status);

    const Rect area{style.WindowPadding.x, style.WindowPadding.y + toolbarH + ui.theme.px(8),
                    size.x - 2 * style.WindowPadding.x,
                    statusY - (style.WindowPadding.y + toolbarH + ui.theme.px(12))};
    shownPanels_.clear();
    if (ui.app.settings().setPlanWorkspace) {
        bool toolOpen = fileBrowser_.isOpen();
        for (const auto& tool : tools_.all())
            toolOpen = toolOpen || ui.app.toolOpen(tool->toolbarId());
        drawSetPlanEditor(ui, area, !toolOpen);
    } else if (area.w > 0 && area.h > 0) {
        const Application& app = ui.app;
        const std::vector<Rect> rects =
            panelRects(app.settings().layout, app.settings().visibleDecks, area, ui.theme.px(8));
        for (std::size_t pos = 0; pos < rects.size(); ++pos) {
            const int panel = app.panelAt(static_cast<int>(pos));
            ImGui::PushID(panel);
            if (panelViews_[static_cast<std::size_t>(panel)].draw(ui, panel, rects[pos]))
                fileBrowser_.open(panel, app.settings().lastFolder);
            ImGui::PopID();
            shownPanels_.emplace_back(panel, rects[pos]);
        }
        paintAroundPanels(rects, ui.theme.px(DeckPanelView::kCornerRadius));
    }
    ImGui::End();
}

void MainWindow::paintAroundPanels(const std::vector<Rect>& panels, float radius) {
    ImDrawList& d = *ImGui::GetBackgroundDrawList();
    const ImVec2 size = ImGui::GetIO().DisplaySize;
    for (const Rect& r : uncoveredRects({0, 0, size.x, size.y}, panels))
        d.AddRectFilled(ImVec2(r.x, r.y), ImVec2(r.x + r.w, r.y + r.h), Theme::kBackground);
    // The background also fills each rounded corner outside its arc, as a fan from the corner.
    constexpr int kSegments = 6;
    constexpr float kPi = 3.14159265f;
    for (const Rect& r : panels) {
        const struct {
            float cornerX, cornerY, centreX, centreY, fromAngle;
        } corners[] = {
            {r.x, r.y, r.x + radius, r.y + radius, kPi},
            {r.x + r.w, r.y, r.x + r.w - radius, r.y + radius, 1.5f * kPi},
            {r.x + r.w, r.y + r.h, r.x + r.w - radius, r.y + r.h - radius, 0.0f},
            {r.x, r.y + r.h, r.x + radius, r.y + r.h - radius, 0.5f * kPi},
        };
        for (const auto& c : corners) {
            auto arc = [&](int k) {
                const float a = c.fromAngle + 0.5f * kPi * static_cast<float>(k) / kSegments;
                return ImVec2(c.centreX + radius * std::cos(a), c.centreY + radius * std::sin(a));
            };
            for (int k = 0; k < kSegments; ++k)
                d.AddTriangleFilled(ImVec2(c.cornerX, c.cornerY), arc(k), arc(k + 1),
                                    Theme::kBackground);
        }
    }
}

void MainWindow::drawToolWindows(UiContext& ui) {
    for (const auto& tool : tools_.all()) {
        if (!ui.app.toolOpen(tool->toolbarId())) continue;
        const ImVec2 base = tool->defaultSize();
        ImGui::SetNextWindowSize(ImVec2(ui.theme.px(base.x), ui.theme.px(base.y)),
                                 ImGuiCond_FirstUseEver);
        ImGui::SetNextWindowPos(ImVec2(ui.theme.px(120), ui.theme.px(90)), ImGuiCond_FirstUseEver);
        bool open = true;
        if (ImGui::Begin(tool->title(), &open, ImGuiWindowFlags_NoCollapse)) tool->draw(ui);
        ImGui::End();
        if (!open) {
            ui.app.closeTool(tool->toolbarId());
            tool->onClose(ui.app);
        }
    }
}

void MainWindow::close() {
    if (app_) {
        app_->releaseHeldControls();
        for (const auto& tool : tools_.all())
            if (app_->toolOpen(tool->toolbarId())) {
                app_->closeTool(tool->toolbarId());
                tool->onClose(*app_);
            }
    }
    ticker_.stop();
    native_.close();
    if (imgui_) {
        ImGui::DestroyContext();
        imgui_ = false;
    }
    // The engine host and the device are stopped and destroyed after the window is gone.
    if (app_) {
        app_->shutdown();
        app_.reset();
    }
}

int runMainWindow(ApplicationOptions options) {
    MainWindow window;
    if (!window.open(std::move(options))) {
        std::fprintf(stderr, "VYN could not open a window: %s\n", window.error().c_str());
        return 1;
    }
    return window.run();
}

} // namespace vyn
