#include "app/UiMap.h"

#include "support/FileIo.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vyn {
namespace {

// One line per entry: line breaks inside a label would start a bogus entry.
void appendOneLine(std::string& out, std::string_view text) {
    for (char c : text)
        out += c == '\n' || c == '\r' ? ' ' : c;
}

} // namespace

UiMap UiMap::fromEnvironment() {
    const char* p = std::getenv("VYN_UI_MAP");
    return UiMap(p ? std::string(p) : std::string());
}

void UiMap::beginFrame(int width, int height) {
    if (!enabled()) return;
    frame_ = "window " + std::to_string(width) + " " + std::to_string(height) + "\n";
}

void UiMap::control(int id, float x, float y, float w, float h, std::string_view label) {
    if (!enabled()) return;
    char buf[96];
    std::snprintf(buf, sizeof buf, "control %d %ld %ld %ld %ld ", id, std::lround(x),
                  std::lround(y), std::lround(w), std::lround(h));
    frame_ += buf;
    appendOneLine(frame_, label);
    frame_ += '\n';
}

void UiMap::text(int id, std::string_view text) {
    if (!enabled()) return;
    frame_ += "text " + std::to_string(id) + " ";
    appendOneLine(frame_, text);
    frame_ += '\n';
}

void UiMap::endFrame(Clock::time_point now) {
    if (!enabled() || frame_ == written_) return;
    if (writes_ > 0 && now - lastWrite_ < kMinInterval) return;
    if (!writeFileAtomically(path_, frame_, nullptr)) return;
    written_ = frame_;
    lastWrite_ = now;
    ++writes_;
}

} // namespace vyn
