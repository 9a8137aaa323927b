#pragma once
// Drives the real window as a person does: WindowDriver reads its UI map and clicks,
// double-clicks and types with xdotool at the places the map lists (on either platform's window);
// WindowProcess runs the Linux window (vyn_guarded, the window executable with the real-time
// guard) with its own configuration and documents folders and map. The checks that wait for what
// the window shows return assertion results naming what it showed instead.

#include "app/DeckPanel.h"
#include "common/TestPaths.h"
#include "common/UiMapFile.h"
#include "support/FileIo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vyn::test {

using namespace std::chrono_literals;

// The window behind the UI map at `mapPath`.
class WindowDriver {
public:
    explicit WindowDriver(std::string mapPath) : map_(std::move(mapPath)) {}

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

    // Waits for the text `id` to read `text`, or only to start with it when `prefixOnly`.
    ::testing::AssertionResult shows(int id, const std::string& text,
                                     std::chrono::milliseconds timeout = 15s,
                                     bool prefixOnly = false) const {
        const auto matches = [&](const std::string& now) {
            return prefixOnly ? now.rfind(text, 0) == 0 : now == text;
        };
        const std::string now =
            waitFor([&](const UiMapFile& m) { return matches(m.text(id)); }, timeout).text(id);
        if (matches(now)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "text " << id << " reads \"" << now << "\", not \""
                                             << text << (prefixOnly ? "...\"" : "\"");
    }
    ::testing::AssertionResult showsStart(int id, const std::string& prefix,
                                          std::chrono::milliseconds timeout = 15s) const {
        return shows(id, prefix, timeout, true);
    }
    // Waits for the map to list control `id`, showing `label` when one is given.
    ::testing::AssertionResult lists(int id, const std::string& label = {},
                                     std::chrono::milliseconds timeout = 15s) const {
        const auto matches = [&](const UiMapFile& f) {
            const auto it = f.controls.find(id);
            return it != f.controls.end() && (label.empty() || it->second.label == label);
        };
        const UiMapFile m = waitFor(matches, timeout);
        if (matches(m)) return ::testing::AssertionSuccess();
        ::testing::AssertionResult failure = ::testing::AssertionFailure();
        failure << "control " << id;
        if (m.controls.count(id))
            failure << " shows \"" << m.controls.at(id).label << "\", not \"" << label << "\"";
        else
            failure << " is not in the map";
        return failure;
    }
    // Waits for control `id` (one the window shows at start) and finds the window.
    ::testing::AssertionResult opened(int id, std::chrono::milliseconds timeout = 15s) {
        ::testing::AssertionResult listed = lists(id, {}, timeout);
        if (!listed) return listed;
        if (findWindow()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "xdotool finds no window named VYN";
    }

    // Load on the deck panel, the path typed into the browser's focused path field, then Enter;
    // the panel then shows the track as `name`, READY.
    ::testing::AssertionResult loadThroughTheBrowser(int panel, const std::string& path,
                                                     const std::string& name) {
        if (!click(deckControlId(panel, deck_control::LOAD)))
            return ::testing::AssertionFailure() << "no Load on panel " << panel;
        waitFor([](const UiMapFile& m) { return m.controls.count(1200) != 0; });
        type(path);
        ::testing::AssertionResult track =
            shows(deckControlId(panel, deck_control::TRACK_TEXT), name);
        if (!track)
            return track << "; the panel says "
                         << map().text(deckControlId(panel, deck_control::MESSAGE_TEXT));
        return shows(deckControlId(panel, deck_control::STATUS_TEXT), "READY");
    }

    const std::string& windowId() const { return window_; }
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
        // A modifier stays down over a few frames on either side of the click: the window reads
        // it once per frame.
        if (!modifier.empty()) {
            xdotool("keydown " + modifier);
            std::this_thread::sleep_for(300ms);
        }
        // The pointer rests on the control for a frame or two first: a control that moves as
        // the window settles (a wrapping status line above it) is hovered where it is.
        xdotool(pointAt(c.x + c.w / 2, c.y + c.h / 2) + " sleep 0.2 click 1");
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
        xdotool(pointAt(c.x + 20, c.y + c.h / 2) + " click --repeat 2 --delay 80 1");
        std::this_thread::sleep_for(150ms);
        return true;
    }
    // Xvfb has no window manager: the window gets the keyboard focus as a desktop would give it.
    void focus() { xdotool("windowfocus --sync " + window_); }
    // Types `text` into the focused field, then Return unless `enter` is false.
    void type(const std::string& text, bool enter = true) {
        focus();
        xdotool("type --delay 15 '" + text + "'");
        if (enter) xdotool("key Return");
        std::this_thread::sleep_for(150ms);
    }
    void key(const std::string& keys) {
        focus();
        xdotool("key " + keys);
        std::this_thread::sleep_for(150ms);
    }
    // A screenshot kept as the test run's artefact `name`.
    bool keepScreenshot(const std::string& name) {
        return runProcess("import -window " + window_ + " '" + artefactPath(name) + "'").exitCode ==
               0;
    }

protected:
    std::string pointAt(int x, int y) const {
        return "mousemove --window " + window_ + " " + std::to_string(x) + " " + std::to_string(y);
    }
    static void xdotool(const std::string& args) {
        const auto r = runProcess("xdotool " + args);
        EXPECT_EQ(r.exitCode, 0) << args << ": " << r.err;
    }

    std::string map_;
    std::string window_;
};

#ifndef _WIN32
// One run of the window with its own configuration folder and UI map.
class WindowProcess : public WindowDriver {
public:
    // `environment`: extra variables for the window ("NAME=value").
    explicit WindowProcess(const std::string& dir, std::vector<std::string> environment = {})
        : WindowDriver(dir + "/ui.map"), dir_(dir) {
        pid_ = fork();
        if (pid_ == 0) {
            for (std::string& e : environment)
                putenv(e.data());
            ::vyn::test::setEnvironment("XDG_CONFIG_HOME", (dir + "/config").c_str());
            ::vyn::test::setEnvironment("XDG_DOCUMENTS_DIR", (dir + "/documents").c_str());
            ::vyn::test::setEnvironment("VYN_UI_MAP", map_.c_str());
            // Mesa and SDL keep allocations to the end of the process; our own leaks are the
            // unit tests' business.
            ::vyn::test::setEnvironment("ASAN_OPTIONS", "detect_leaks=0");
            // ALSA default through the PulseAudio plugin
            ::vyn::test::setEnvironment("VYN_AUDIO", "alsa");
            ::vyn::test::setEnvironment("PULSE_SINK", "vyn_stereo");
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
    // Sends `signal`: the window exits with 0, and the real-time guard saw the audio thread
    // neither allocate, free nor lock.
    ::testing::AssertionResult stopsCleanly(int signal) {
        const int status = stop(signal);
        const std::string err = stderrText();
        if (status != 0)
            return ::testing::AssertionFailure() << "exit status " << status << "\n" << err;
        if (err.find("realtime violations: allocations 0 frees 0 locks 0") == std::string::npos)
            return ::testing::AssertionFailure() << err;
        return ::testing::AssertionSuccess();
    }
    std::string stderrText() const { return readWholeFile(dir_ + "/stderr").data; }
    std::string settings() const { return readWholeFile(dir_ + "/config/vyn/settings.ini").data; }

private:
    std::string dir_;
    pid_t pid_ = -1;
    int status_ = -1;
};
#endif

} // namespace vyn::test
