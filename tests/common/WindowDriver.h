#pragma once
// Drives the real window as a person does: runs it (vyn_guarded, the window executable with the
// real-time guard) with its own configuration and documents folders and a UI map, reads the map,
// and clicks, double-clicks and types with xdotool at the places the map lists.

#include "common/TestPaths.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vyn::test {

using namespace std::chrono_literals;

struct MapControl {
    int x = 0, y = 0, w = 0, h = 0;
    std::string label;
};

struct UiMapFile {
    int width = 0, height = 0;
    std::map<int, MapControl> controls;
    std::map<int, std::string> texts;

    static UiMapFile read(const std::string& path) {
        UiMapFile m;
        std::istringstream in(readWholeFile(path).data);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream f(line);
            std::string kind;
            int id = 0;
            f >> kind;
            if (kind == "window") {
                f >> m.width >> m.height;
                continue;
            }
            f >> id;
            std::string rest;
            if (kind == "control") {
                MapControl c;
                f >> c.x >> c.y >> c.w >> c.h;
                std::getline(f, rest);
                c.label = rest.empty() ? rest : rest.substr(1);
                m.controls[id] = c;
            } else if (kind == "text") {
                std::getline(f, rest);
                m.texts[id] = rest.empty() ? rest : rest.substr(1);
            }
        }
        return m;
    }
    std::string text(int id) const {
        auto it = texts.find(id);
        return it == texts.end() ? std::string() : it->second;
    }
    // The first control from `first` to `last` showing `label`; 0 when none does.
    int labelled(const std::string& label, int first, int last) const {
        for (auto it = controls.lower_bound(first); it != controls.end() && it->first <= last; ++it)
            if (it->second.label == label) return it->first;
        return 0;
    }
};

// One run of the window with its own configuration folder and UI map.
class WindowProcess {
public:
    explicit WindowProcess(const std::string& dir) : dir_(dir), map_(dir + "/ui.map") {
        pid_ = fork();
        if (pid_ == 0) {
            setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
            setenv("XDG_DOCUMENTS_DIR", (dir + "/documents").c_str(), 1);
            setenv("VYN_UI_MAP", map_.c_str(), 1);
            // Mesa and SDL keep allocations to the end of the process; our own leaks are the
            // unit tests' business.
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            setenv("VYN_AUDIO", "alsa", 1); // ALSA default through the PulseAudio plugin
            setenv("PULSE_SINK", "vyn_stereo", 1);
            std::freopen((dir + "/stderr").c_str(), "w", stderr);
            const std::string exe = builtExecutable("vyn_guarded");
            execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~WindowProcess() {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    UiMapFile map() const { return UiMapFile::read(map_); }
    // Waits until the map satisfies `ready`; the last map read is returned either way.
    UiMapFile waitFor(const std::function<bool(const UiMapFile&)>& ready,
                      std::chrono::milliseconds timeout = 15s) const {
        const auto end = std::chrono::steady_clock::now() + timeout;
        UiMapFile m = map();
        while (!ready(m) && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(50ms);
            m = map();
        }
        return m;
    }
    UiMapFile waitForText(int id, const std::string& text,
                          std::chrono::milliseconds timeout = 15s) const {
        return waitFor([&](const UiMapFile& m) { return m.text(id) == text; }, timeout);
    }

    // The window's X id, found by its title.
    bool findWindow() {
        for (int i = 0; i < 100 && window_.empty(); ++i) {
            const auto r = runProcess("xdotool search --name '^VYN$' | head -n 1");
            window_ = r.out.substr(0, r.out.find('\n'));
            if (window_.empty()) std::this_thread::sleep_for(100ms);
        }
        return !window_.empty();
    }

    // Clicks the middle of a control as listed in the map, holding `modifier` ("shift", "ctrl")
    // when given; false when the map does not list it.
    bool click(int id, const std::string& modifier = {}) {
        const UiMapFile m = map();
        auto it = m.controls.find(id);
        if (it == m.controls.end()) return false;
        const MapControl& c = it->second;
        const std::string at = "mousemove --window " + window_ + " " +
                               std::to_string(c.x + c.w / 2) + " " + std::to_string(c.y + c.h / 2);
        // A modifier stays down over a few frames on either side of the click: the window reads
        // it once per frame.
        if (!modifier.empty()) {
            xdotool("keydown " + modifier);
            std::this_thread::sleep_for(300ms);
        }
        xdotool(at + " click 1");
        std::this_thread::sleep_for(modifier.empty() ? 150ms : 300ms);
        if (!modifier.empty()) xdotool("keyup " + modifier);
        return true;
    }
    // Double-clicks a control's left part (a list row's title).
    bool doubleClick(int id) {
        const UiMapFile m = map();
        auto it = m.controls.find(id);
        if (it == m.controls.end()) return false;
        const MapControl& c = it->second;
        xdotool("mousemove --window " + window_ + " " + std::to_string(c.x + 20) + " " +
                std::to_string(c.y + c.h / 2) + " click --repeat 2 --delay 80 1");
        std::this_thread::sleep_for(150ms);
        return true;
    }
    // Types `text` into the focused field, then Return unless `enter` is false.
    void type(const std::string& text, bool enter = true) {
        xdotool("windowfocus --sync " + window_);
        xdotool("type --delay 15 '" + text + "'");
        if (enter) xdotool("key Return");
        std::this_thread::sleep_for(150ms);
    }
    void key(const std::string& keys) {
        xdotool("windowfocus --sync " + window_);
        xdotool("key " + keys);
        std::this_thread::sleep_for(150ms);
    }
    bool screenshot(const std::string& path) {
        return runProcess("import -window " + window_ + " '" + path + "'").exitCode == 0;
    }

    // Sends `signal` and returns the exit status (-1 when it did not exit within 20 s).
    int stop(int signal) {
        kill(pid_, signal);
        for (int i = 0; i < 400; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return status_;
            }
            std::this_thread::sleep_for(50ms);
        }
        return -1;
    }
    std::string stderrText() const { return readWholeFile(dir_ + "/stderr").data; }
    std::string settings() const { return readWholeFile(dir_ + "/config/vyn/settings.ini").data; }

private:
    static void xdotool(const std::string& args) {
        const auto r = runProcess("xdotool " + args);
        EXPECT_EQ(r.exitCode, 0) << args << ": " << r.err;
    }

    std::string dir_;
    std::string map_;
    std::string window_;
    pid_t pid_ = -1;
    int status_ = -1;
};

} // namespace vyn::test
