#pragma once
// The UI map: when the environment variable VYN_UI_MAP names a file, the window lists in it every
// visible clickable control and every text a user reads, with positions in client pixels, so that
// tests drive the real window with xdotool and read it without OCR:
//
//   window W H
//   control ID X Y W H LABEL
//   text ID TEXT
//
// The file is rewritten (temporary name, then rename) when its content changed, at most every
// 100 ms. Without the variable every call returns at once; views check enabled() before building
// labels.
//
// Threading: user-interface thread only.

#include <chrono>
#include <string>
#include <string_view>

namespace vyn {

class UiMap {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kMinInterval = std::chrono::milliseconds(100);

    // Reads VYN_UI_MAP.
    static UiMap fromEnvironment();
    explicit UiMap(std::string path = {}) : path_(std::move(path)) {}

    bool enabled() const { return !path_.empty(); }

    void beginFrame(int width, int height);
    void control(int id, float x, float y, float w, float h, std::string_view label);
    void text(int id, std::string_view text);
    // Writes the frame's list when it differs from the file and the last write is old enough.
    void endFrame(Clock::time_point now);

    const std::string& path() const { return path_; }
    int writes() const { return writes_; }

private:
    std::string path_;
    std::string frame_;
    std::string written_;
    Clock::time_point lastWrite_{};
    int writes_ = 0;
};

} // namespace vyn
