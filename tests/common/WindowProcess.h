#pragma once
// The real window as a person uses it: vyn_guarded started under the test display with its own
// configuration folder and UI map, clicks and keys through xdotool at the places the map lists,
// and screenshots.

#include "common/TestPaths.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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
};

// One run of the window with its own configuration folder and UI map.
class WindowProcess {
public:
    // `environment`: extra variables for the window ("NAME=value").
    explicit WindowProcess(const std::string& dir, std::vector<std::string> environment = {})
        : dir_(dir), map_(dir + "/ui.map") {
        pid_ = fork();
        if (pid_ == 0) {
            for (std::string& e : environment)
                putenv(e.data());
            setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
            setenv("VYN_UI_MAP", map_.c_str(), 1);
            // Mesa and SDL keep allocations to the end of the process; our own leaks are the
            // unit tests' business.
            setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
            setenv("VYN_AUDIO", "alsa", 1); // ALSA default through the PulseAudio plugin
            setenv("PULSE_SINK", "vyn_stereo", 1);
            std::freopen((dir + "/stderr").c_str(), "w", stderr);
            const std::string exe = test::builtExecutable("vyn_guarded");
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
    UiMapFile waitForText(int id, const std::string& text) const {
        return waitFor([&](const UiMapFile& m) { return m.text(id) == text; });
    }

    // The window's X id, found by its title.
    bool findWindow() {
        for (int i = 0; i < 100 && window_.empty(); ++i) {
            const auto r = test::runProcess("xdotool search --name '^VYN$' | head -n 1");
            window_ = r.out.substr(0, r.out.find('\n'));
            if (window_.empty()) std::this_thread::sleep_for(100ms);
        }
        return !window_.empty();
    }

    // Clicks the middle of a control as listed in the map; false when the map does not list it.
    bool click(int id) {
        const UiMapFile m = map();
        auto it = m.controls.find(id);
        if (it == m.controls.end()) return false;
        const MapControl& c = it->second;
        xdotool("mousemove --window " + window_ + " " + std::to_string(c.x + c.w / 2) + " " +
                std::to_string(c.y + c.h / 2) + " sleep 0.1 click 1");
        std::this_thread::sleep_for(150ms);
        return true;
    }
    void type(const std::string& text) {
        xdotool("windowfocus --sync " + window_);
        xdotool("type --delay 15 '" + text + "'");
        xdotool("key Return");
        std::this_thread::sleep_for(150ms);
    }
    bool screenshot(const std::string& path) {
        return test::runProcess("import -window " + window_ + " '" + path + "'").exitCode == 0;
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
        const auto r = test::runProcess("xdotool " + args);
        EXPECT_EQ(r.exitCode, 0) << args << ": " << r.err;
    }

    std::string dir_;
    std::string map_;
    std::string window_;
    pid_t pid_ = -1;
    int status_ = -1;
};

} // namespace vyn::test
