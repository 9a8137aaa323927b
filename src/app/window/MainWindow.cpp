#include "app/window/MainWindow.h"

#include "app/ToolbarIds.h"
#include "app/window/FeedbackWindow.h"
#include "app/window/SetPlanView.h"
#include "app/window/Toolbar.h"
#include "app/window/UiContext.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <imgui.h>

#include <cmath>
#include <cstdio>
#include <deque>

namespace vyn {
namespace {

// A key or button press followed by its release before the next frame would be lost (this ImGui
// reads key state once per frame): such a release waits for the frame after.
bool isPress(const SDL_Event& e) {
    return e.type == SDL_KEYDOWN || e.type == SDL_MOUSEBUTTONDOWN;
}
bool isRelease(const SDL_Event& e) {
    return e.type == SDL_KEYUP || e.type == SDL_MOUSEBUTTONUP;
}
int inputKey(const SDL_Event& e) {
    if (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP) return e.key.keysym.scancode;
    return 100000 + e.button.button;
}

} // namespace

MainWindow::~MainWindow() {
    close();
}

bool MainWindow::open(ApplicationOptions options) {
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        error_ = SDL_GetError();
        return false;
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    window_ =
        SDL_CreateWindow("VYN", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, kWidth, kHeight,
                         SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!window_) {
        error_ = SDL_GetError();
        SDL_Quit();
        return false;
    }
    gl_ = SDL_GL_CreateContext(window_);
    if (!gl_) {
        error_ = SDL_GetError();
        close();
        return false;
    }
    SDL_GL_MakeCurrent(window_, gl_);
    SDL_GL_SetSwapInterval(1); // vsync where the driver has it; the refresh thread caps the rest

    SDL_DisplayMode mode;
    if (SDL_GetCurrentDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0)
        refreshHz_ = mode.refresh_rate;

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr; // window positions are not worth a file
    ImGui_ImplSDL2_InitForOpenGL(window_, gl_);
    ImGui_ImplOpenGL3_Init("#version 130");
    imgui_ = true;
    updateScale();

    app_ = std::make_unique<Application>(std::move(options));
    registerToolWindows(tools_);
    messageEvent_ = SDL_RegisterEvents(1);
    const std::uint32_t type = messageEvent_;
    app_->setMessagePoster([type](AppMessage m) {
        SDL_Event e{};
        e.type = type;
        e.user.code = static_cast<int>(m);
        SDL_PushEvent(&e);
    });
    app_->start();
    Application* app = app_.get();
    ticker_.start(refreshHz_, [app] { app->postMessage(AppMessage::Refresh); });
    return true;
}

void MainWindow::updateScale() {
    int w = kWidth, h = kHeight;
    SDL_GetWindowSize(window_, &w, &h);
    float dpi = 96.0f;
    if (SDL_GetDisplayDPI(SDL_GetWindowDisplayIndex(window_), nullptr, &dpi, nullptr) != 0)
        dpi = 96.0f;
    if (theme_.setScale(Theme::scaleFor(w, h, dpi))) {
        ImGui_ImplOpenGL3_DestroyFontsTexture();
        ImGui_ImplOpenGL3_CreateFontsTexture();
    }
}

int MainWindow::run() {
    std::deque<SDL_Event> backlog;
    bool quit = false;
    frame();
    while (!quit) {
        SDL_Event e;
        if (backlog.empty() && SDL_WaitEventTimeout(&e, 200)) backlog.push_back(e);
        while (SDL_PollEvent(&e))
            backlog.push_back(e);
        bool refresh = false;
        std::vector<int> pressed;
        while (!backlog.empty() && !quit) {
            const SDL_Event& next = backlog.front();
            if (isRelease(next) &&
                std::find(pressed.begin(), pressed.end(), inputKey(next)) != pressed.end()) {
                refresh = true; // draw the press now; the release follows in the next frame
                break;
            }
            if (isPress(next)) pressed.push_back(inputKey(next));
            handleEvent(next, quit, refresh);
            backlog.pop_front();
        }
        if (refresh && !quit) frame();
    }
    close();
    return 0;
}

void MainWindow::handleEvent(const SDL_Event& e, bool& quit, bool& refresh) {
    if (e.type == messageEvent_) {
        const auto message = static_cast<AppMessage>(e.user.code);
        if (message == AppMessage::Refresh)
            refresh = true;
        else
            app_->handleMessage(message, std::chrono::steady_clock::now());
        return;
    }
    switch (e.type) {
    case SDL_QUIT:
        quit = true;
        return;
    case SDL_WINDOWEVENT:
        if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
            quit = true;
            return;
        }
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) app_->releaseHeldControls();
        break;
    case SDL_KEYDOWN:
        if (e.key.keysym.mod & KMOD_CTRL) {
            const SDL_Keycode k = e.key.keysym.sym;
            if (k == SDLK_z)
                shortcut_ =
                    (e.key.keysym.mod & KMOD_SHIFT) ? EditShortcut::Redo : EditShortcut::Undo;
            else if (k == SDLK_y)
                shortcut_ = EditShortcut::Redo;
            else if (k == SDLK_s)
                shortcut_ = EditShortcut::Save;
        }
        break;
    case SDL_MOUSEBUTTONDOWN:
        if (e.button.button == SDL_BUTTON_LEFT) doubleClick_ = e.button.clicks >= 2;
        break;
    case SDL_DROPFILE:
        dropFile(e.drop.file);
        SDL_free(e.drop.file);
        return;
    default:
        break;
    }
    ImGui_ImplSDL2_ProcessEvent(&e);
}

void MainWindow::dropFile(const char* path) {
    if (!path) return;
    int gx = 0, gy = 0, wx = 0, wy = 0;
    SDL_GetGlobalMouseState(&gx, &gy);
    SDL_GetWindowPosition(window_, &wx, &wy);
    const float x = static_cast<float>(gx - wx), y = static_cast<float>(gy - wy);
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
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
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
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(window_, &w, &h);
    glViewport(0, 0, w, h);
    // With panels on screen the clear paints their face and the background is drawn around them
    // (see paintAroundPanels): the clear is nearly free, every drawn pixel is not.
    const ImVec4 bg =
        ImGui::ColorConvertU32ToFloat4(shownPanels_.empty() ? Theme::kBackground : Theme::kPanel);
    glClearColor(bg.x, bg.y, bg.z, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(window_);
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
    if (imgui_) {
        ImGui_ImplOpenGL3_Shutdown();
        ImGui_ImplSDL2_Shutdown();
        ImGui::DestroyContext();
        imgui_ = false;
    }
    if (gl_) {
        SDL_GL_DeleteContext(gl_);
        gl_ = nullptr;
    }
    if (window_) {
        SDL_DestroyWindow(window_);
        window_ = nullptr;
        SDL_Quit();
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
