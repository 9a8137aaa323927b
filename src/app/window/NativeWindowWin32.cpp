// The main window's OS side on Windows: a Win32 window with a WGL OpenGL context, ImGui's Win32
// and OpenGL 3 backends. Posted application messages are window messages (PostMessageW is safe
// from any thread); Ctrl+C and Ctrl+Break in the console close the window as its close box does.

#include "app/window/NativeWindow.h"
#include "support/WideText.h"

#include <windows.h>

#include <shellapi.h>

#include <GL/gl.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_win32.h>
#include <imgui.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <vector>

extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND hWnd, UINT msg, WPARAM wParam,
                                                             LPARAM lParam);

namespace vyn {
namespace {

constexpr UINT kAppMessage = WM_APP + 1;
constexpr wchar_t kClassName[] = L"VYN main window";

// The open window, for the console control handler (which runs on a thread of its own).
std::atomic<HWND> g_consoleTarget{nullptr};

BOOL WINAPI onConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    const HWND target = g_consoleTarget.load();
    if (!target) return FALSE;
    PostMessageW(target, WM_CLOSE, 0, 0);
    return TRUE;
}

bool isPress(const MSG& m) {
    return m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN || m.message == WM_LBUTTONDOWN ||
           m.message == WM_LBUTTONDBLCLK || m.message == WM_RBUTTONDOWN ||
           m.message == WM_RBUTTONDBLCLK || m.message == WM_MBUTTONDOWN ||
           m.message == WM_MBUTTONDBLCLK;
}
bool isRelease(const MSG& m) {
    return m.message == WM_KEYUP || m.message == WM_SYSKEYUP || m.message == WM_LBUTTONUP ||
           m.message == WM_RBUTTONUP || m.message == WM_MBUTTONUP;
}
// Pairs a press with its release: the virtual key, or a number per mouse button.
WPARAM inputKey(const MSG& m) {
    switch (m.message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
        return 0x10001;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_RBUTTONUP:
        return 0x10002;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_MBUTTONUP:
        return 0x10003;
    default:
        return m.wParam;
    }
}

template <typename Function> Function glExtension(const char* name) {
    const PROC proc = wglGetProcAddress(name);
    return proc ? reinterpret_cast<Function>(reinterpret_cast<void*>(proc)) : nullptr;
}

} // namespace

struct NativeWindow::State {
    HINSTANCE instance = nullptr;
    bool classRegistered = false;
    HWND window = nullptr;
    HDC dc = nullptr;
    HGLRC gl = nullptr;
    bool win32Backend = false;
    bool openglBackend = false;
    // Set while pump() dispatches: where the window procedure hands events.
    WindowEventSink* sink = nullptr;
    bool draw = false;
    bool quit = false;
    SIZE initialFrame{0, 0}; // the outer size the window was created with

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

namespace {

LRESULT CALLBACK windowProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<NativeWindow::State*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!state) return DefWindowProcW(hwnd, msg, wParam, lParam);
    return state->handle(hwnd, msg, wParam, lParam);
}

} // namespace

LRESULT NativeWindow::State::handle(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case kAppMessage: {
        const auto message = static_cast<AppMessage>(wParam);
        if (message == AppMessage::Refresh)
            draw = true;
        else if (sink)
            sink->onMessage(message);
        return 0;
    }
    case WM_CLOSE:
        // The window is destroyed by close(), after the application let go of it.
        quit = true;
        return 0;
    case WM_ERASEBKGND:
        return 1; // every frame paints the whole client area
    case WM_GETMINMAXINFO: {
        // The window may be as large as it was created: the default limit follows the screen
        // size the system reported first, which can be a placeholder (wine before it has asked
        // the X server).
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMaxTrackSize.x = std::max<LONG>(limits->ptMaxTrackSize.x, initialFrame.cx);
        limits->ptMaxTrackSize.y = std::max<LONG>(limits->ptMaxTrackSize.y, initialFrame.cy);
        return 0;
    }
    case WM_KILLFOCUS:
        if (sink) sink->onFocusLost();
        break;
    case WM_KEYDOWN:
        if (sink && GetKeyState(VK_CONTROL) < 0) {
            const bool shift = GetKeyState(VK_SHIFT) < 0;
            if (wParam == 'Z')
                sink->onShortcut(shift ? EditShortcut::Redo : EditShortcut::Undo);
            else if (wParam == 'Y')
                sink->onShortcut(EditShortcut::Redo);
            else if (wParam == 'S')
                sink->onShortcut(EditShortcut::Save);
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (sink) sink->onLeftPress(msg == WM_LBUTTONDBLCLK);
        break;
    case WM_DROPFILES: {
        const auto drop = reinterpret_cast<HDROP>(wParam);
        POINT at{};
        DragQueryPoint(drop, &at);
        const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        if (sink && length > 0 && DragQueryFileW(drop, 0, path.data(), length + 1) == length) {
            path.resize(length);
            const std::string utf8 = narrow(path);
            if (!utf8.empty())
                sink->onDrop(utf8.c_str(), static_cast<float>(at.x), static_cast<float>(at.y));
        }
        DragFinish(drop);
        return 0;
    }
    default:
        break;
    }
    if (win32Backend && ImGui_ImplWin32_WndProcHandler(hwnd, msg, wParam, lParam)) return 1;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

NativeWindow::NativeWindow() : state_(std::make_unique<State>()) {}

NativeWindow::~NativeWindow() {
    close();
}

bool NativeWindow::open(const char* title, int width, int height, std::string& error) {
    State& s = *state_;
    ImGui_ImplWin32_EnableDpiAwareness();
    s.instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_OWNDC | CS_DBLCLKS;
    wc.lpfnWndProc = windowProcedure;
    wc.hInstance = s.instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc)) {
        error = "the window class could not be registered";
        return false;
    }
    s.classRegistered = true;

    // Centred on the primary display's work area, explicitly: with a default position the system
    // may pick a default size too.
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_ACCEPTFILES);
    const int frameW = frame.right - frame.left, frameH = frame.bottom - frame.top;
    s.initialFrame = SIZE{frameW, frameH};
    RECT work{0, 0, frameW, frameH};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int workW = static_cast<int>(work.right - work.left);
    const int workH = static_cast<int>(work.bottom - work.top);
    const int x = static_cast<int>(work.left) + std::max(0, (workW - frameW) / 2);
    const int y = static_cast<int>(work.top) + std::max(0, (workH - frameH) / 2);
    s.window =
        CreateWindowExW(WS_EX_ACCEPTFILES, kClassName, widen(title).c_str(), WS_OVERLAPPEDWINDOW, x,
                        y, frameW, frameH, nullptr, nullptr, s.instance, nullptr);
    if (!s.window) {
        error = "the window could not be created";
        close();
        return false;
    }
    SetWindowLongPtrW(s.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&s));
    // Creation already applied the default size limit (WM_GETMINMAXINFO comes before any
    // message could reach this state): size it again with the window's own limit.
    SetWindowPos(s.window, nullptr, x, y, frameW, frameH, SWP_NOZORDER | SWP_NOACTIVATE);

    s.dc = GetDC(s.window);
    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    format.cAlphaBits = 8;
    format.iLayerType = PFD_MAIN_PLANE;
    const int chosen = s.dc ? ChoosePixelFormat(s.dc, &format) : 0;
    if (chosen == 0 || !SetPixelFormat(s.dc, chosen, &format)) {
        error = "no OpenGL pixel format for the window";
        close();
        return false;
    }
    s.gl = wglCreateContext(s.dc);
    if (!s.gl || !wglMakeCurrent(s.dc, s.gl)) {
        error = "no OpenGL context";
        close();
        return false;
    }
    // A compatibility context: the renderer needs OpenGL 3 (GLSL 1.30).
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version || std::atoi(version) < 3) {
        error = "OpenGL 3 is not available";
        close();
        return false;
    }
    using SwapInterval = BOOL(WINAPI*)(int);
    if (const auto swapInterval = glExtension<SwapInterval>("wglSwapIntervalEXT"))
        swapInterval(1); // vsync where the driver has it; the refresh thread caps the rest

    s.win32Backend = ImGui_ImplWin32_Init(s.window);
    s.openglBackend = s.win32Backend && ImGui_ImplOpenGL3_Init("#version 130");
    if (!s.openglBackend) {
        error = "the OpenGL 3 renderer could not start";
        close();
        return false;
    }
    DragAcceptFiles(s.window, TRUE);
    g_consoleTarget.store(s.window);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
    ShowWindow(s.window, SW_SHOWDEFAULT);
    UpdateWindow(s.window);
    return true;
}

void NativeWindow::close() {
    State& s = *state_;
    if (g_consoleTarget.load() == s.window && s.window) {
        SetConsoleCtrlHandler(onConsoleControl, FALSE);
        g_consoleTarget.store(nullptr);
    }
    if (s.openglBackend) {
        ImGui_ImplOpenGL3_Shutdown();
        s.openglBackend = false;
    }
    if (s.win32Backend) {
        ImGui_ImplWin32_Shutdown();
        s.win32Backend = false;
    }
    if (s.gl) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(s.gl);
        s.gl = nullptr;
    }
    if (s.dc) {
        ReleaseDC(s.window, s.dc);
        s.dc = nullptr;
    }
    if (s.window) {
        DestroyWindow(s.window);
        s.window = nullptr;
    }
    if (s.classRegistered) {
        UnregisterClassW(kClassName, s.instance);
        s.classRegistered = false;
    }
}

double NativeWindow::refreshRate() const {
    DEVMODEW mode{};
    mode.dmSize = sizeof mode;
    // 0 and 1 stand for the hardware's default rate.
    if (EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode) && mode.dmDisplayFrequency > 1)
        return mode.dmDisplayFrequency;
    return 60.0;
}

void NativeWindow::size(int& width, int& height) const {
    RECT client{};
    if (!GetClientRect(state_->window, &client)) return;
    width = client.right - client.left;
    height = client.bottom - client.top;
}

float NativeWindow::dpi() const {
    const float scale = ImGui_ImplWin32_GetDpiScaleForHwnd(state_->window);
    return scale > 0.0f ? 96.0f * scale : 96.0f;
}

std::function<void(AppMessage)> NativeWindow::messagePoster() {
    const HWND target = state_->window;
    return [target](AppMessage m) { PostMessageW(target, kAppMessage, static_cast<WPARAM>(m), 0); };
}

NativeWindow::Pump NativeWindow::pump(WindowEventSink& sink) {
    State& s = *state_;
    s.sink = &sink;
    s.draw = false;
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE))
        MsgWaitForMultipleObjectsEx(0, nullptr, 200, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    std::vector<WPARAM> pressed;
    bool split = false;
    while (!s.quit && PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        if (isRelease(msg) &&
            std::find(pressed.begin(), pressed.end(), inputKey(msg)) != pressed.end()) {
            split = true; // draw the press now; the release follows in the next frame
            break;
        }
        if (isPress(msg)) pressed.push_back(inputKey(msg));
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    s.sink = nullptr;
    if (s.quit) return Pump::Quit;
    return s.draw || split ? Pump::Draw : Pump::Idle;
}

void NativeWindow::newFrame() {
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplWin32_NewFrame();
}

void NativeWindow::present(float red, float green, float blue) {
    int w = 0, h = 0;
    size(w, h);
    glViewport(0, 0, w, h);
    glClearColor(red, green, blue, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    SwapBuffers(state_->dc);
}

void NativeWindow::rebuildFonts() {
    ImGui_ImplOpenGL3_DestroyFontsTexture();
    ImGui_ImplOpenGL3_CreateFontsTexture();
}

} // namespace vyn
