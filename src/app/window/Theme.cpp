#include "app/window/Theme.h"

#include "support/KnownFolders.h"

#include <imgui_internal.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace vyn {
namespace {

constexpr float kBodyPixels = 17.0f;
// DejaVu beside the executable (the Windows package carries it), else the system's copy.
constexpr const char* kSystemFontFolder = "/usr/share/fonts/truetype/dejavu/";

// Latin, punctuation (dashes, ellipsis, middle dot), arrows and the minus sign.
const ImWchar kGlyphs[] = {0x0020, 0x00FF, 0x2010, 0x2027, 0x2190, 0x2199,
                           0x2212, 0x2212, 0x25A0, 0x25FF, 0};

// ImGui's own file opening: it takes UTF-8 paths on every platform.
bool fileReadable(const std::string& path) {
    const ImFileHandle f = ImFileOpen(path.c_str(), "rb");
    if (!f) return false;
    ImFileClose(f);
    return true;
}

ImFont* addFont(ImFontAtlas& atlas, const char* file, float pixels) {
    const std::string beside = executableFolder();
    for (const std::string& folder :
         {beside.empty() ? std::string() : beside + "/fonts/", std::string(kSystemFontFolder)}) {
        const std::string path = folder + file;
        if (!folder.empty() && fileReadable(path))
            return atlas.AddFontFromFileTTF(path.c_str(), pixels, nullptr, kGlyphs);
    }
    // Without the font package the built-in font still works, only smaller and plainer.
    ImFontConfig config;
    config.SizePixels = pixels;
    return atlas.AddFontDefault(&config);
}

void applyColours(ImGuiStyle& style) {
    ImVec4* c = style.Colors;
    c[ImGuiCol_WindowBg] = ImGui::ColorConvertU32ToFloat4(Theme::kBackground);
    c[ImGuiCol_ChildBg] = ImGui::ColorConvertU32ToFloat4(Theme::kPanel);
    c[ImGuiCol_PopupBg] = ImVec4(0.09f, 0.10f, 0.11f, 0.98f);
    c[ImGuiCol_Border] = ImGui::ColorConvertU32ToFloat4(Theme::kPanelEdge);
    c[ImGuiCol_Text] = ImGui::ColorConvertU32ToFloat4(Theme::kText);
    c[ImGuiCol_TextDisabled] = ImVec4(0.40f, 0.43f, 0.42f, 1.0f);
    c[ImGuiCol_Button] = ImVec4(0.16f, 0.18f, 0.19f, 1.0f);
    c[ImGuiCol_ButtonHovered] = ImVec4(0.22f, 0.26f, 0.25f, 1.0f);
    c[ImGuiCol_ButtonActive] = ImVec4(0.18f, 0.55f, 0.33f, 1.0f);
    c[ImGuiCol_FrameBg] = ImVec4(0.12f, 0.13f, 0.14f, 1.0f);
    c[ImGuiCol_FrameBgHovered] = ImVec4(0.17f, 0.20f, 0.19f, 1.0f);
    c[ImGuiCol_FrameBgActive] = ImVec4(0.18f, 0.30f, 0.24f, 1.0f);
    c[ImGuiCol_CheckMark] = ImGui::ColorConvertU32ToFloat4(Theme::kAccent);
    c[ImGuiCol_SliderGrab] = ImGui::ColorConvertU32ToFloat4(Theme::kAccent);
    c[ImGuiCol_SliderGrabActive] = ImVec4(0.55f, 0.95f, 0.70f, 1.0f);
    c[ImGuiCol_Header] = ImVec4(0.16f, 0.30f, 0.22f, 1.0f);
    c[ImGuiCol_HeaderHovered] = ImVec4(0.20f, 0.40f, 0.28f, 1.0f);
    c[ImGuiCol_HeaderActive] = ImVec4(0.22f, 0.50f, 0.32f, 1.0f);
    c[ImGuiCol_TitleBg] = ImVec4(0.08f, 0.09f, 0.10f, 1.0f);
    c[ImGuiCol_TitleBgActive] = ImVec4(0.10f, 0.24f, 0.16f, 1.0f);
    c[ImGuiCol_Separator] = ImGui::ColorConvertU32ToFloat4(Theme::kPanelEdge);
}

} // namespace

ImU32 Theme::hotCueColour(int slot) {
    static const ImU32 colours[8] = {IM_COL32(60, 200, 90, 255),  IM_COL32(60, 150, 255, 255),
                                     IM_COL32(255, 140, 40, 255), IM_COL32(220, 80, 200, 255),
                                     IM_COL32(250, 220, 60, 255), IM_COL32(60, 220, 220, 255),
                                     IM_COL32(240, 90, 90, 255),  IM_COL32(170, 120, 255, 255)};
    return colours[slot & 7];
}

float Theme::scaleFor(int width, int height, float dpi) {
    const float dpiScale =
        dpi > 0.0f && std::isfinite(dpi) ? std::clamp(dpi / 96.0f, 1.0f, 3.0f) : 1.0f;
    const float sizeScale = std::clamp(std::min(width / 1360.0f, height / 860.0f), 0.7f, 2.5f);
    // Quarter steps, so a window being resized does not rebuild the fonts at every pixel.
    return std::round(sizeScale * dpiScale * 4.0f) / 4.0f;
}

bool Theme::setScale(float newScale) {
    if (body && newScale == scale) return false;
    scale = newScale;
    ImGuiStyle style;
    ImGui::StyleColorsDark(&style);
    style.WindowRounding = 4.0f;
    style.FrameRounding = 3.0f;
    style.ChildRounding = 6.0f;
    style.GrabRounding = 3.0f;
    style.WindowPadding = ImVec2(8, 8);
    style.FramePadding = ImVec2(6, 4);
    style.ItemSpacing = ImVec2(6, 5);
    style.ItemInnerSpacing = ImVec2(5, 4);
    style.GrabMinSize = 14.0f;
    applyColours(style);
    style.ScaleAllSizes(scale);
    ImGui::GetStyle() = style;

    ImFontAtlas& atlas = *ImGui::GetIO().Fonts;
    atlas.Clear();
    body = addFont(atlas, "DejaVuSans.ttf", std::round(kBodyPixels * scale));
    large = addFont(atlas, "DejaVuSans-Bold.ttf", std::round(kBodyPixels * 1.75f * scale));
    small = addFont(atlas, "DejaVuSansCondensed-Bold.ttf", std::round(kBodyPixels * 0.82f * scale));
    atlas.Build();
    return true;
}

} // namespace vyn
