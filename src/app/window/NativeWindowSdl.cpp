// The main window's OS side on Linux: SDL2 with an OpenGL 3 context. Posted application messages
// are SDL user events; SIGINT and SIGTERM arrive as SDL's quit event.

#include "app/window/NativeWindow.h"

#include <SDL.h>
#include <SDL_opengl.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>
#include <imgui.h>

#include <algorithm>
#include <deque>
#include <vector>

namespace vyn {
namespace {

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

struct NativeWindow::State {
    SDL_Window* window = nullptr;
    SDL_GLContext gl = nullptr;
    bool sdl = false;
    bool imgui = false;
    std::uint32_t messageEvent = 0;
    std::deque<SDL_Event> backlog; // events held back for the next frame
};

NativeWindow::NativeWindow() : state_(std::make_unique<State>()) {}

NativeWindow::~NativeWindow() {
    close();
}

bool NativeWindow::open(const char* title, int width, int height, std::string& error) {
    State& s = *state_;
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        error = SDL_GetError();
        return false;
    }
    s.sdl = true;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    s.window =
        SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                         SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!s.window) {
        error = SDL_GetError();
        close();
        return false;
    }
    s.gl = SDL_GL_CreateContext(s.window);
    if (!s.gl) {
        error = SDL_GetError();
        close();
        return false;
    }
    SDL_GL_MakeCurrent(s.window, s.gl);
    SDL_GL_SetSwapInterval(1); // vsync where the driver has it; the refresh thread caps the rest
    ImGui_ImplSDL2_InitForOpenGL(s.window, s.gl);
    ImGui_ImplOpenGL3_Init("#version 130");
    s.imgui = true;
    s.messageEvent = SDL_RegisterEvents(1);
    return true;
}

void NativeWindow::close() {
    State& s = *state_;
    if (s.imgui) {
        ImGui_ImplOpenGL3_Shutdown();
        ImGui_ImplSDL2_Shutdown();
        s.imgui = false;
    }
    if (s.gl) {
        SDL_GL_DeleteContext(s.gl);
        s.gl = nullptr;
    }
    if (s.window) {
        SDL_DestroyWindow(s.window);
        s.window = nullptr;
    }
    if (s.sdl) {
        SDL_Quit();
        s.sdl = false;
    }
}

double NativeWindow::refreshRate() const {
    SDL_DisplayMode mode;
    if (SDL_GetCurrentDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0) return mode.refresh_rate;
    return 60.0;
}

void NativeWindow::size(int& width, int& height) const {
    SDL_GetWindowSize(state_->window, &width, &height);
}

float NativeWindow::dpi() const {
    float dpi = 96.0f;
    if (SDL_GetDisplayDPI(SDL_GetWindowDisplayIndex(state_->window), nullptr, &dpi, nullptr) != 0)
        dpi = 96.0f;
    return dpi;
}

std::function<void(AppMessage)> NativeWindow::messagePoster() {
    const std::uint32_t type = state_->messageEvent;
    return [type](AppMessage m) {
        SDL_Event e{};
        e.type = type;
        e.user.code = static_cast<int>(m);
        SDL_PushEvent(&e);
    };
}

NativeWindow::Pump NativeWindow::pump(WindowEventSink& sink) {
    State& s = *state_;
    SDL_Event e;
    if (s.backlog.empty() && SDL_WaitEventTimeout(&e, 200)) s.backlog.push_back(e);
    while (SDL_PollEvent(&e))
        s.backlog.push_back(e);
    bool draw = false;
    std::vector<int> pressed;
    while (!s.backlog.empty()) {
        const SDL_Event next = s.backlog.front();
        if (isRelease(next) &&
            std::find(pressed.begin(), pressed.end(), inputKey(next)) != pressed.end())
            return Pump::Draw; // draw the press now; the release follows in the next frame
        if (isPress(next)) pressed.push_back(inputKey(next));
        s.backlog.pop_front();
        if (next.type == s.messageEvent) {
            const auto message = static_cast<AppMessage>(next.user.code);
            if (message == AppMessage::Refresh)
                draw = true;
            else
                sink.onMessage(message);
            continue;
        }
        switch (next.type) {
        case SDL_QUIT:
            return Pump::Quit;
        case SDL_WINDOWEVENT:
            if (next.window.event == SDL_WINDOWEVENT_CLOSE) return Pump::Quit;
            if (next.window.event == SDL_WINDOWEVENT_FOCUS_LOST) sink.onFocusLost();
            break;
        case SDL_KEYDOWN:
            if (next.key.keysym.mod & KMOD_CTRL) {
                const SDL_Keycode k = next.key.keysym.sym;
                if (k == SDLK_z)
                    sink.onShortcut((next.key.keysym.mod & KMOD_SHIFT) ? EditShortcut::Redo
                                                                       : EditShortcut::Undo);
                else if (k == SDLK_y)
                    sink.onShortcut(EditShortcut::Redo);
                else if (k == SDLK_s)
                    sink.onShortcut(EditShortcut::Save);
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
            if (next.button.button == SDL_BUTTON_LEFT) sink.onLeftPress(next.button.clicks >= 2);
            break;
        case SDL_DROPFILE:
            if (next.drop.file) {
                int gx = 0, gy = 0, wx = 0, wy = 0;
                SDL_GetGlobalMouseState(&gx, &gy);
                SDL_GetWindowPosition(s.window, &wx, &wy);
                sink.onDrop(next.drop.file, static_cast<float>(gx - wx),
                            static_cast<float>(gy - wy));
            }
            SDL_free(next.drop.file);
            continue;
        default:
            break;
        }
        ImGui_ImplSDL2_ProcessEvent(&next);
    }
    return draw ? Pump::Draw : Pump::Idle;
}

void NativeWindow::newFrame() {
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
}

void NativeWindow::present(float red, float green, float blue) {
    int w = 0, h = 0;
    SDL_GL_GetDrawableSize(state_->window, &w, &h);
    glViewport(0, 0, w, h);
    glClearColor(red, green, blue, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(state_->window);
}

void NativeWindow::rebuildFonts() {
    ImGui_ImplOpenGL3_DestroyFontsTexture();
    ImGui_ImplOpenGL3_CreateFontsTexture();
}

} // namespace vyn
